#pragma once
// What ThreadSanitizer is told in every test program (and child process) that includes this header;
// include it from exactly one source of each program.
//
// Qt, glib, libdbus and cpp-httplib are not built with ThreadSanitizer: what their own threads hand
// each other, and an event Qt allocates on the posting thread and frees on the receiving one, are
// synchronised by locks it cannot see. Only the memory operations those libraries make are ignored;
// everything this project compiles is still checked, and what lumora hands between threads travels
// in its own, instrumented queues. The dynamic loader is in the same position: a library loaded on
// one thread sets up the thread-local storage of every thread, which a thread ending later frees,
// all under the loader's own lock.
//
// QProcess forks the multi-threaded test program and execs at once; nothing runs in the child
// before exec, so the sanitizer's refusal to start threads after such a fork does not apply.

#if defined(__SANITIZE_THREAD__)
extern "C" const char *__tsan_default_options()
{
    return "die_after_fork=0";
}

extern "C" const char *__tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n"
           "race:libQt6DBus.so.6\n"
           "race:libdbus-1.so.3\n"
           "deadlock:libdbus-1.so.3\n"
           "called_from_lib:libcpp-httplib.so\n"
           "race:libcpp-httplib.so\n"
           "race:QCoreApplicationPrivate::sendPostedEvents\n"
           "race:_dl_deallocate_tls\n";
}
#endif
