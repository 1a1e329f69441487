// A process that writes a library until it is killed, for the tests that kill writers and run two
// processes on one file. It reports each finished write on standard output, unbuffered, so the test
// knows the last operation that certainly committed.
//
//   medialibrary_writer script <database> <seed> <start> <limit>
//       runs script operations start+1 .. limit, printing "<k>" after each
//   medialibrary_writer append <database> <prefix> <count>
//       adds count items at the end of the queue, committing a counter on each; prints "done"

#include "tests/medialibrary/LibraryScript.h"

#include "lmtl/RefCountedPtr.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

using namespace LumoraTest;

namespace {

void say(const QByteArray &line)
{
    const QByteArray text = line + '\n';
    ssize_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.constData() + written, static_cast<size_t>(text.size() - written));
        if (n <= 0)
            std::_Exit(4);
        written += n;
    }
}

std::unique_ptr<Lumora::MediaLibrary> openLibrary(const char *path)
{
    Lumora::LibraryOpenOptions options;
    options.databasePath = QString::fromLocal8Bit(path);
    options.busyTimeoutMs = 10000;
    options.reattachStrayItems = false;  // the script leaves items outside the queue on purpose
    QString error;
    auto library = Lumora::MediaLibrary::open(options, &error);
    if (!library) {
        std::fprintf(stderr, "medialibrary_writer: %s\n", error.toLocal8Bit().constData());
        std::_Exit(3);
    }
    return library;
}

int runScript(const char *path, uint64_t seed, int64_t start, int64_t limit)
{
    auto library = openLibrary(path);
    std::map<int, uint64_t> ids;
    const ScriptState stored = readState(*library, &ids);
    ScriptState state = replayScript(seed, start);
    if (!(stored == state)) {
        std::fprintf(stderr, "medialibrary_writer: the library is not in the state after operation %lld\n",
                     static_cast<long long>(start));
        return 5;
    }
    for (int64_t k = start + 1; k <= limit; ++k) {
        const ScriptOp op = scriptOp(state, seed, k);
        if (!applyToLibrary(*library, ids, op)) {
            say("fail " + QByteArray::number(static_cast<qlonglong>(k)));
            return 2;
        }
        applyToState(state, op);
        say(QByteArray::number(static_cast<qlonglong>(k)));
    }
    return 0;
}

int runAppend(const char *path, const QString &prefix, int count)
{
    auto library = openLibrary(path);
    auto playlist = library->downloadPlaylist();
    for (int i = 1; i <= count; ++i) {
        const QUrl url(QStringLiteral("http://two.test/%1-%2.mp4").arg(prefix).arg(i));
        lmtl::RefCountedPtr<Lumora::MediaManagerInterface::QueuedFileInterface> item;
        if (!library->createQueuedItem(url, prefix, url, item.receive()) || !playlist->insertItem(-1, item.get()))
            return 2;
        item->setCounter(i);
        if (!item->commit())
            return 2;
    }
    say("done");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 6 && std::strcmp(argv[1], "script") == 0)
        return runScript(argv[2], std::strtoull(argv[3], nullptr, 10), std::atoll(argv[4]), std::atoll(argv[5]));
    if (argc == 5 && std::strcmp(argv[1], "append") == 0)
        return runAppend(argv[2], QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]));
    std::fprintf(stderr, "usage: medialibrary_writer script <db> <seed> <start> <limit> | append <db> <prefix> <count>\n");
    return 64;
}
