// What the command-line tools over the headless host share: driving the
// engine's timer until a condition holds, spotting the open-failure alert,
// explaining why a path could not be loaded, and file URLs of paths.
#pragma once

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "host/headless/headless.h"

namespace toolhost
{

// Timer firings allowed for one wait before a tool gives up.
constexpr int fireLimit = 200000;
// The host alert of a document that could not be opened or read.
constexpr int32_t alertOpenFailed = 0x10002;
// The host alert of an open that ran out of engine memory.
constexpr int32_t alertNoMemory = 0x10006;

// Fires the engine timer until done() or the limit; false when it gave up
// or the engine went away.
template <typename Done> bool drive(HostContext *host, Done done)
{
    for (int i = 0; i < fireLimit && !done(); i++) {
        if (!host->instance)
            return false;
        if (!Headless_fireTimer(host))
            usleep(1000);
    }
    return done();
}

inline bool alertSeen(HostContext *host, int32_t code)
{
    for (int i = 0; i < Headless_alertCount(host); i++)
        if (Headless_alert(host, i) == code)
            return true;
    return false;
}

// The load-status alerts of a translation that failed: nothing took the
// file (0x10000), no data (0x10001), refused (0x10004).
constexpr int32_t alertNothingTookIt = 0x10000;
constexpr int32_t alertNoData = 0x10001;
constexpr int32_t alertRefused = 0x10004;

inline bool openAlertSeen(HostContext *host)
{
    return alertSeen(host, alertOpenFailed) || alertSeen(host, alertNoMemory) ||
           alertSeen(host, alertNothingTookIt) || alertSeen(host, alertNoData) ||
           alertSeen(host, alertRefused);
}

// Why a path cannot be loaded, as far as the file system tells.
inline std::string reasonFor(const char *path)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return strerror(errno);
    if (S_ISDIR(st.st_mode))
        return "it is a directory";
    if (access(path, R_OK) != 0)
        return strerror(errno);
    return "the engine could not read it as a document";
}

// Why an open failed: memory, or what the file system tells.
inline std::string openFailure(HostContext *host, const char *path)
{
    if (alertSeen(host, alertNoMemory))
        return "the engine ran out of memory while opening it";
    return reasonFor(path);
}

// The absolute path as a file URL of the file system's root.
inline std::string fileUrl(const char *path)
{
    std::string absolute = path;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd))
            absolute = std::string(cwd) + "/" + path;
    }
    return "file://root" + absolute;
}

} // namespace toolhost
