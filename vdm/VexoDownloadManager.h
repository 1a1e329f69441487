/*
 * VexoDownloadManager: the download engine, a shared library with a C interface.
 *
 * The engine fetches files over HTTP and HTTPS into the temporary download directory and lets its
 * caller follow each transfer by polling. Callers load it at run time (file name
 * "VexoDownloadManager.so") and resolve the eight entry points below by name; nothing links it.
 *
 * HOW A CALLER USES IT
 *
 *   uint32_t config = 0, file = 0;
 *   VDMSetFileConfigPluginOption(&config, u"urifile1", u"Login", user);       optional
 *   VDMSetFileConfigPluginOption(&config, u"urifile1", u"Password", pass);    optional
 *   VDMSetFileConfigPluginOption(&config, u"urifile1", u"ExpectedSize", u"53360");  optional
 *   if (VDMFileOpenURIEx(uri, 0, 0, &config, &file, VDM_OPEN_FOLLOW_REDIRECTS | VDM_OPEN_RESUME) != 0)
 *       fail;
 *   VDMFilePause(file, 0);                       start the transfer
 *   while (VDMFileCheck(file) != 0) sleep 10 ms;  answers 0 at once: the transfer is under way
 *   VDMFileInfo info;
 *   while (VDMFileGetInfo(file, &info) == 0) { progress = info.received / info.total; sleep 100 ms; }
 *   complete = info.received == info.total;       the final counts tell success from failure
 *   VDMFilePause(file, 1);
 *   VDMFileGetOutputPath(file, NULL, &size); ... VDMFileGetOutputPath(file, buffer, &size);
 *   VDMFileClose(file);
 *
 * THREADS AND OWNERSHIP
 *
 * Every open file has its own transfer thread while it runs; the calls above only start, stop and
 * observe it. Every entry point may be called from any thread, at any time, with any handle: an
 * unknown, closed or zero handle is answered with VDM_E_INVALID_HANDLE and nothing else happens.
 * Handles are 32-bit numbers owned by the engine; a closed handle is not given out again for a long
 * time (the numbers count up through 2^32 before they wrap). Records, strings and buffers are owned
 * by the caller and only read or written during the call.
 *
 * Strings are NUL-terminated UTF-16 (char16_t). Results are int32_t: 0 for success, a VDM_* code
 * otherwise; out-parameters are written only on success unless an entry point says otherwise.
 *
 * WHERE FILES GO
 *
 * The output directory is read at every open, in this order:
 *   1. the string value VDM_OUTPUT_DIRECTORY_VALUE of the registry key VDM_OUTPUT_DIRECTORY_KEY of
 *      HKEY_CURRENT_USER, which the host library writes whenever it moves its temporary download
 *      directory;
 *   2. $LUMORA_HOME/cache/downloads when LUMORA_HOME is set;
 *   3. $XDG_CACHE_HOME/lumora/downloads, or ~/.cache/lumora/downloads.
 * The directory is created by the first start when missing. In it, a transfer writes "<name>.part"
 * and beside it "<name>.part.meta" (the validators that make a later resume safe, and for a
 * segmented transfer the segment map); only a complete transfer is renamed to "<name>". <name> is
 * the last path segment of the URI, made safe for a file name, behind a hash of the URI: the same
 * URI always maps to the same name, so a later open can resume it.
 *
 * RESUMING
 *
 * With VDM_OPEN_RESUME, a transfer continues the partial file of an earlier open of the same URI
 * (credentials aside) with a range request when the earlier response carried a strong ETag or a
 * Last-Modified date and a size, and the server answers the range with the same validators and size.
 * Otherwise, and when the server sends the whole resource instead, it starts again from byte 0.
 *
 * A partial file that can never be resumed that way (no validators, no size, nothing received) is
 * not kept: a failed transfer removes it and its records at once. What a later open could resume
 * from stays until that open completes it, or a VDM_OPEN_DISCARD removes it.
 *
 * SEGMENTED TRANSFERS
 *
 * Servers often cap what one connection gets. A file of at least VDM_SETTING_SEGMENT_MINIMUM_SIZE
 * bytes, from a server that answers ranges of a resource it names with a strong ETag (or a stable
 * size and Last-Modified), is fetched over up to VDM_SETTING_MAX_CONNECTIONS connections, each
 * writing into its own place in the part file. A connection that finishes takes over half of the
 * largest range another still has to fetch, so a slow one never holds up the end. The caller sees
 * one transfer: one record, and received counts the bytes of the file in place, so it only grows.
 * Redirects are followed once; every further connection asks the final address, with credentials
 * only when that is still the origin they were given for. A server that refuses ranges, answers a
 * range with the whole resource, or answers extra connections with 429 or 503 gets fewer
 * connections (one, when ranges cannot be used at all). The segment map in the records is saved
 * atomically (written, synced, renamed), at most once a second and when a run ends, and never
 * claims a byte not yet written; a later open with VDM_OPEN_RESUME, after a pause or a crash,
 * continues every segment, or starts from zero when the resource has changed.
 *
 * Connections outlive their transfer: the next transfer from the same origin (scheme, host, port)
 * continues on them, without a new TCP or TLS handshake, for up to 30 s.
 *
 * RETRIES
 *
 * Passing faults heal inside a transfer: a connection reset or closed mid-body, a body cut short,
 * a time-out or stall, and the statuses 408, 429, 500, 502, 503 and 504 are tried again, resuming
 * by range under the rule above (or from byte 0 when it does not allow it, or when the resource
 * changed between tries). Other failures end the transfer at once: a host that does not resolve,
 * a refused connection, other statuses (credentials refused among them), TLS, the disk, a body
 * longer than promised, redirect loops.
 * A try that received bytes of the file is followed at once by the next, and the count starts
 * again. Without progress the waits double from 1 s up to 60 s, and are at least what the server's
 * Retry-After says (seconds or a date, up to 5 minutes), until the tries in a row reach
 * VDM_SETTING_RETRY_LIMIT or the time since the first of them VDM_SETTING_RETRY_TIME_LIMIT; the
 * transfer then fails with the reason of the last try.
 * While it waits, the transfer is in VDM_STATE_RETRYING and VDMFileGetInfo answers VDM_OK; the
 * record says when and why ("retrying in 4 s: connection reset (try 3 of 10)" is
 * retryDelayMs, retryReason, attempt and maxAttempts). VDMFilePause(file, 1), VDMFileClose and the
 * exit of the process end a wait at once; the partial file stays resumable.
 *
 * RATE LIMIT
 *
 * VDM_SETTING_MAX_DOWNLOAD_RATE (or VDM_ENV_MAX_DOWNLOAD_RATE) caps what the whole process receives,
 * across all its transfers and connections. A change applies to running transfers within a
 * second. Waiting for the limit does not count towards the stall time-out.
 *
 * SECURITY
 *
 * Certificates are always verified. Redirects are followed (with VDM_OPEN_FOLLOW_REDIRECTS) at most
 * 10 times and only to http and https. Login and Password are sent only to the host, port and
 * scheme of the URI they were set for, never to a host a redirect leads to. Credentials are never
 * written to disk.
 *
 * ENVIRONMENT
 *
 *   VEXO_VDM_STALL_TIMEOUT_MS  A connection that cannot be made within this time fails with
 *                              VDM_E_TIMED_OUT; one that then receives nothing for this long fails
 *                              with VDM_E_STALLED. Default 30000, at most 60000, at least 50.
 *   VEXO_VDM_CA_FILE           A PEM file of extra certificate authorities to trust besides the
 *                              system's (for test servers with their own certificate).
 * Both are read at every open. For VEXO_VDM_MAX_DOWNLOAD_RATE see VDM_ENV_MAX_DOWNLOAD_RATE.
 * Proxies come from the usual variables (http_proxy, https_proxy, no_proxy), as everywhere libcurl
 * is used.
 */
#ifndef VEXO_DOWNLOAD_MANAGER_H
#define VEXO_DOWNLOAD_MANAGER_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#if defined(VDM_BUILDING_ENGINE)
#define VDM_API __attribute__((visibility("default")))
#else
#define VDM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------------------------
 * Result codes: the one list of every answer an entry point gives and every reason a transfer
 * ends with (VDMFileInfo.result).
 * ------------------------------------------------------------------------------------------- */
enum VDMResult {
    VDM_OK = 0,
    VDM_ENDED = 1,              /* VDMFileGetInfo: the transfer has ended; the record holds its
                                   final counts (received == total: completed) */
    VDM_NOT_READY = 2,          /* VDMFileCheck: the transfer has not been started, or is paused */

    VDM_E_INVALID_HANDLE = 3,   /* unknown, closed or zero handle */
    VDM_E_INVALID_ARGUMENT = 4, /* null pointer, unknown flag, non-zero reserved argument,
                                   string too long */
    VDM_E_UNSUPPORTED_URI = 5,  /* not an http or https URI with a host */
    VDM_E_UNKNOWN_OPTION = 6,   /* VDMSetFileConfigPluginOption: plug-in or option not known */
    VDM_E_BUFFER_TOO_SMALL = 7, /* VDMFileGetOutputPath: *size now holds the size needed */
    VDM_E_NO_OUTPUT_DIRECTORY = 8, /* the output directory cannot be created or written */
    VDM_E_IN_USE = 9,           /* another open file is writing the same output */
    VDM_E_LIMIT = 10,           /* too many open files or configurations */
    VDM_E_UNAVAILABLE = 11,     /* never returned by the engine: the answer of a binding that
                                   cannot load the engine or one of its entry points */
    VDM_E_SERVICE_STOPPED = 12, /* the engine could not start, or the process is exiting */

    /* Why a transfer failed (VDMFileInfo.result). The finer codes from 29 on say what the older
       ones (VDM_E_NETWORK, VDM_E_DISK) would otherwise lump together; the older ones remain for
       what the finer ones do not cover. */
    VDM_E_NETWORK = 20,         /* the network failed in a way none of the codes below names
                                   (unreachable network or host, a proxy, a local socket error) */
    VDM_E_TLS = 21,             /* TLS handshake or certificate verification failed */
    VDM_E_HTTP_STATUS = 22,     /* the server answered with an error status (VDMFileInfo.httpStatus),
                                   credentials refused included (401, 407) */
    VDM_E_REDIRECT = 23,        /* more than 10 redirects, or one to a scheme or address that cannot
                                   be followed */
    VDM_E_STALLED = 24,         /* connected, then nothing received for the stall time-out */
    VDM_E_TRUNCATED = 25,       /* the server closed the connection before the announced size */
    VDM_E_DISK = 26,            /* the output file could not be written, for a reason other than
                                   VDM_E_DISK_FULL (VDMFileInfo.transportError holds the errno) */
    VDM_E_PROTOCOL = 27,        /* a response the engine cannot use (bad Content-Length, bad
                                   Content-Range, unexpected status) */
    VDM_E_INTERNAL = 28,        /* out of memory or another local failure */
    VDM_E_HOST_NOT_FOUND = 29,  /* the host name (or the proxy's) does not resolve */
    VDM_E_CONNECTION_REFUSED = 30, /* the host answered the connection attempt with a refusal: no
                                      server listens on that port */
    VDM_E_TIMED_OUT = 31,       /* no connection could be made within the stall time-out */
    VDM_E_CONNECTION_LOST = 32, /* the connection was reset or closed while a request or response
                                   was under way, where VDM_E_TRUNCATED does not say it (no
                                   announced size, or nothing of the response had arrived) */
    VDM_E_BODY_TOO_LONG = 33,   /* the body went on past the size it was promised: its
                                   Content-Length, or without one the ExpectedSize option. The
                                   partial file and its records are removed. */
    VDM_E_DISK_FULL = 34        /* no space left on the file system, or the user's quota used up
                                   (ENOSPC, EDQUOT) */
};

/* ---------------------------------------------------------------------------------------------
 * Settings: registry values the engine reads, under VDM_SETTINGS_KEY of HKEY_CURRENT_USER, each
 * value falling back to the same key of HKEY_LOCAL_MACHINE, then to its default. Each value may be
 * a REG_DWORD, a REG_QWORD or a REG_SZ of decimal digits; a value of another type or out of its
 * bounds counts as absent (a number out of bounds is clamped to them).
 * They are read when a run starts and at most once a second while it runs, so a change reaches
 * running transfers within a second.
 * ------------------------------------------------------------------------------------------- */
/* Where the host library publishes its temporary download directory (see WHERE FILES GO). */
#define VDM_OUTPUT_DIRECTORY_KEY "SOFTWARE\\Vexo\\Settings\\DesktopService"
#define VDM_OUTPUT_DIRECTORY_VALUE "TempDownloadDirectory"

#define VDM_SETTINGS_COMPONENT "VexoDownloadManager"
#define VDM_SETTINGS_KEY "SOFTWARE\\Vexo\\Settings\\" VDM_SETTINGS_COMPONENT

/* Bytes per second that all transfers of the process together may receive; 0 for no limit.
   Other values below the minimum count as the minimum. The environment variable
   VDM_ENV_MAX_DOWNLOAD_RATE, when set to a number, wins over the registry value (a command line's
   --limit-rate sets it for its own process); it is read at the same moments. */
#define VDM_SETTING_MAX_DOWNLOAD_RATE "MaxDownloadRate"
#define VDM_ENV_MAX_DOWNLOAD_RATE "VEXO_VDM_MAX_DOWNLOAD_RATE"
#define VDM_MAX_DOWNLOAD_RATE_DEFAULT 0
#define VDM_MAX_DOWNLOAD_RATE_MIN 1024
#define VDM_MAX_DOWNLOAD_RATE_MAX (1024LL * 1024 * 1024 * 1024)

/* Connections one transfer may use (see SEGMENTED TRANSFERS); 1 turns segmenting off. */
#define VDM_SETTING_MAX_CONNECTIONS "MaxConnectionsPerDownload"
#define VDM_MAX_CONNECTIONS_DEFAULT 4
#define VDM_MAX_CONNECTIONS_MIN 1
#define VDM_MAX_CONNECTIONS_MAX 16

/* Bytes a file must have before a transfer splits it across connections. */
#define VDM_SETTING_SEGMENT_MINIMUM_SIZE "SegmentMinimumSize"
#define VDM_SEGMENT_MINIMUM_SIZE_DEFAULT (16 * 1024 * 1024)
#define VDM_SEGMENT_MINIMUM_SIZE_MIN (1024 * 1024)
#define VDM_SEGMENT_MINIMUM_SIZE_MAX (1024LL * 1024 * 1024 * 1024)

/* Tries in a row without progress before a transfer fails, the first try included. A try that
   receives bytes of the file starts the count again. 1 turns retrying off: the first failure
   ends the transfer. */
#define VDM_SETTING_RETRY_LIMIT "RetryLimit"
#define VDM_RETRY_LIMIT_DEFAULT 10
#define VDM_RETRY_LIMIT_MIN 1
#define VDM_RETRY_LIMIT_MAX 1000

/* Seconds from the first failure without progress after which no further try is made. */
#define VDM_SETTING_RETRY_TIME_LIMIT "RetryTimeLimit"
#define VDM_RETRY_TIME_LIMIT_DEFAULT 600
#define VDM_RETRY_TIME_LIMIT_MIN 0
#define VDM_RETRY_TIME_LIMIT_MAX 86400

/* Flags of VDMFileOpenURIEx. */
enum VDMOpenFlags {
    VDM_OPEN_FOLLOW_REDIRECTS = 0x010, /* follow up to 10 redirects */
    VDM_OPEN_RESUME = 0x100,           /* continue the partial file of an earlier open (see above) */
    VDM_OPEN_DISCARD = 0x200           /* open nothing: remove what earlier transfers of the URI left
                                          (see VDMFileOpenURIEx) */
};

/* VDMFileInfo.state */
enum VDMFileState {
    VDM_STATE_IDLE = 0,      /* opened, never started */
    VDM_STATE_RUNNING = 1,
    VDM_STATE_PAUSED = 2,    /* stopped by VDMFilePause(file, 1); the partial file is kept */
    VDM_STATE_COMPLETED = 3,
    VDM_STATE_FAILED = 4,
    VDM_STATE_RETRYING = 5   /* running, but waiting to try again after a passing fault (see
                                VDMFileInfo.retryDelayMs); the transfer has not ended */
};

/* total while the size is not known yet (no response yet, or none that announced a size). Never
   equal to received, so that an unknown size never passes for a complete transfer. */
#define VDM_SIZE_UNKNOWN UINT64_MAX

/* The file information record, 64 bytes. Callers pass one of these (or at least 64 writable bytes);
   the engine fills it completely. */
typedef struct VDMFileInfo {
    uint64_t total;          /*  0: size of the whole file in bytes, VDM_SIZE_UNKNOWN until known */
    uint32_t state;          /*  8: VDM_STATE_* */
    int32_t result;          /* 12: VDM_OK, or the VDM_E_* reason of a failed transfer */
    uint64_t received;       /* 16: bytes of the file received so far, counted from byte 0 (a
                                    resumed transfer starts at the size of its partial file) */
    uint64_t resumedFrom;    /* 24: the byte the current run continued from; 0 for a fresh start */
    int32_t httpStatus;      /* 32: status of the last response, 0 before the first */
    int32_t transportError;  /* 36: for diagnostics only: the transfer library's own error number
                                    of the last failure, or the system's errno for VDM_E_DISK;
                                    0 when none */
    uint64_t bytesPerSecond; /* 40: average rate of the current run */
    uint32_t attempt;        /* 48: the number of the try under way or next, 1 for the first; 0
                                    before the first run. Tries are counted since the last one that
                                    received bytes of the file (such a try shows the fault passing,
                                    and the count starts again). With several connections, the
                                    highest count among them. */
    uint32_t maxAttempts;    /* 52: the most tries in a row without progress (the RetryLimit
                                    setting); 0 before the first run */
    uint32_t retryDelayMs;   /* 56: in VDM_STATE_RETRYING, milliseconds until the next try; else 0 */
    int32_t retryReason;     /* 60: the VDM_E_* reason of the failure being retried: while waiting,
                                    and during the tries that follow it; else VDM_OK */
} VDMFileInfo;

/* ---------------------------------------------------------------------------------------------
 * Entry points
 * ------------------------------------------------------------------------------------------- */

/* Non-zero while the engine can transfer: it has started its transfer machinery and the process is
   not exiting. 0 otherwise; a caller should then give up its transfers. Any time, any thread. */
VDM_API int32_t VDMServiceIsRunning(void);

/* Sets one option of a configuration that a later VDMFileOpenURIEx takes over.
   config: address of a configuration handle. When it holds 0, a new configuration is created and
   its handle stored there; otherwise the handle must name a configuration that no open has taken
   over yet. plugin: u"urifile1" (the URI plug-in, the only one). option:
     u"Login", u"Password"  the HTTP credentials for the URI's own host;
     u"ExpectedSize"        the size of the file in bytes as the caller learnt it beforehand (from
                            a HEAD request), in decimal digits: a response that announces no
                            Content-Length of its own may not deliver more than that, or the
                            transfer fails with VDM_E_BODY_TOO_LONG. A response's own
                            Content-Length always takes precedence (the file is what the server
                            sent, and VDMFileInfo.total says its size).
   value: at most 4095 units; an empty value clears the option.
   Returns VDM_OK; VDM_E_INVALID_ARGUMENT for a null pointer, a value too long, or an ExpectedSize
   that is not a decimal number below 2^64;
   VDM_E_INVALID_HANDLE for an unknown non-zero handle; VDM_E_UNKNOWN_OPTION; VDM_E_LIMIT when
   4096 configurations are waiting to be used. */
VDM_API int32_t VDMSetFileConfigPluginOption(uint32_t *config, const char16_t *plugin, const char16_t *option,
                                             const char16_t *value);

/* Opens a transfer of uri (http or https, percent-encoded, at most 65535 units) and stores its
   handle in *file. Nothing is sent before the first VDMFilePause(file, 0).
   reserved1, reserved2: must be 0. config: address of a configuration handle or null; a non-zero
   handle there is taken over: its options go with the file, the configuration is freed and *config
   is set to 0, whether the open then succeeds or not (callers never release configurations, so
   none is left behind). flags: VDM_OPEN_* bits.
   Opening changes nothing on disk: the output directory and the part file are created by the
   first start. A file that is opened, asked for its output path and closed without ever being
   started creates, changes and removes nothing (a caller may use that to learn which partial file
   belongs to which URI).
   With VDM_OPEN_DISCARD (other flags then do not matter), nothing is opened: the partial file of
   an earlier transfer of uri and every record beside it are removed, *file is set to 0, and the
   answer is VDM_OK, also when there was nothing to remove; VDM_E_IN_USE while an open file of the
   same URI (in this process or another) holds them. A completed file is not touched.
   Returns VDM_OK; VDM_E_INVALID_ARGUMENT (null uri or file, non-zero reserved argument, unknown
   flag); VDM_E_INVALID_HANDLE (unknown configuration); VDM_E_UNSUPPORTED_URI;
   VDM_E_NO_OUTPUT_DIRECTORY (the directory cannot be written, or created); VDM_E_IN_USE (the same
   URI is open and not closed, here or in another process); VDM_E_LIMIT (1024 files open);
   VDM_E_SERVICE_STOPPED. */
VDM_API int32_t VDMFileOpenURIEx(const char16_t *uri, int32_t reserved1, int32_t reserved2, uint32_t *config,
                                 uint32_t *file, uint32_t flags);

/* VDM_OK once the transfer has been started (it is running or has already ended), VDM_NOT_READY
   while it has not been started or is paused, VDM_E_INVALID_HANDLE. Never waits. */
VDM_API int32_t VDMFileCheck(uint32_t file);

/* pause 0: starts the transfer, or continues a paused or failed one (resuming where it can); a
   completed or running transfer is left as it is. Returns at once. A run that cannot create or
   lock the part file fails with VDM_E_NO_OUTPUT_DIRECTORY, VDM_E_DISK_FULL or VDM_E_IN_USE (another
   process writes it).
   pause 1: stops a running transfer and waits until its thread has ended (milliseconds): the
   received bytes are in the partial file, which a later start or open continues. A transfer whose
   last byte has arrived completes instead. Other states are left as they are.
   Returns VDM_OK, VDM_E_INVALID_ARGUMENT (pause not 0 or 1), VDM_E_INVALID_HANDLE. */
VDM_API int32_t VDMFilePause(uint32_t file, int32_t pause);

/* Fills *info with the transfer's current state and counts.
   Returns VDM_OK while the transfer has not ended (idle, running or paused) and VDM_ENDED once it
   has completed or failed: then received == total means complete. VDM_E_INVALID_ARGUMENT (null
   info) and VDM_E_INVALID_HANDLE leave *info untouched.
   So that a caller polling every 100 ms learns of an end at the poll it happens in rather than a
   period later, a call may wait for an imminent end: during the first 250 ms of a run up to 50 ms
   (a short transfer ends at the first poll), and when the rest of the file should arrive within
   120 ms, up to 150 ms. */
VDM_API int32_t VDMFileGetInfo(uint32_t file, VDMFileInfo *info);

/* Ends the transfer (as VDMFilePause(file, 1)) and frees the handle. The output file stays: the
   complete file, or the partial file for a later resume. A partial file that no later open could
   resume (see RESUMING) is removed with its records, when this open has run. Returns VDM_OK or
   VDM_E_INVALID_HANDLE. */
VDM_API int32_t VDMFileClose(uint32_t file);

/* The path of the output file as it is now: "<dir>/<name>" once complete, "<dir>/<name>.part"
   before, as UTF-16 with a terminator.
   size: in/out, in bytes. With a null buffer, stores the size needed (terminator included) in *size
   and returns VDM_OK. With a buffer of *size bytes: copies the path and returns VDM_OK, or stores the
   size needed and returns VDM_E_BUFFER_TOO_SMALL. Also VDM_E_INVALID_ARGUMENT (null size),
   VDM_E_INVALID_HANDLE. */
VDM_API int32_t VDMFileGetOutputPath(uint32_t file, char16_t *buffer, uint32_t *size);

/* Types of the entry points, for callers that resolve them by name. */
typedef int32_t (*VDMServiceIsRunningFn)(void);
typedef int32_t (*VDMSetFileConfigPluginOptionFn)(uint32_t *, const char16_t *, const char16_t *, const char16_t *);
typedef int32_t (*VDMFileOpenURIExFn)(const char16_t *, int32_t, int32_t, uint32_t *, uint32_t *, uint32_t);
typedef int32_t (*VDMFileCheckFn)(uint32_t);
typedef int32_t (*VDMFilePauseFn)(uint32_t, int32_t);
typedef int32_t (*VDMFileGetInfoFn)(uint32_t, VDMFileInfo *);
typedef int32_t (*VDMFileCloseFn)(uint32_t);
typedef int32_t (*VDMFileGetOutputPathFn)(uint32_t, char16_t *, uint32_t *);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(VDMFileInfo) == 64, "the record is 64 bytes");
static_assert(offsetof(VDMFileInfo, total) == 0, "total at offset 0");
static_assert(offsetof(VDMFileInfo, received) == 16, "received at offset 16");
static_assert(offsetof(VDMFileInfo, bytesPerSecond) == 40, "bytesPerSecond at offset 40");
static_assert(offsetof(VDMFileInfo, retryReason) == 60, "the retry fields fill the last 16 bytes");
#endif

#endif /* VEXO_DOWNLOAD_MANAGER_H */
