// Host file services over POSIX.
//
// Thin layers over the system library. What they add: the mapping of the
// engine's open flags and seek origins, the regular-file check on open
// (so that a directory, a device or a pipe is never read as a document),
// listings filtered by a file-name pattern, a chunked copy that cleans up
// after itself, and console messages that start with "alien-file".
#include "platform/host/hostfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *hostPath(const char *path)
{
    return path && path[0] == '/' && path[1] == '/' ? path + 1 : path;
}

int openFlags(uint32_t flags)
{
    int f;
    if (flags & HostFile_readOnly)
        f = O_RDONLY;
    else if (flags & HostFile_writeOnly)
        f = O_WRONLY;
    else
        f = O_RDWR;
    if (flags & HostFile_create) {
        f |= O_CREAT;
        if (flags & HostFile_exclusive)
            f |= O_EXCL;
    }
    if (flags & HostFile_truncate)
        f |= O_TRUNC;
    return f | O_CLOEXEC;
}

int64_t readAll(int fd, void *buffer, size_t length)
{
    for (;;) {
        ssize_t n = read(fd, buffer, length);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

int writeAll(int fd, const uint8_t *p, size_t length)
{
    while (length) {
        ssize_t n = write(fd, p, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        p += n;
        length -= size_t(n);
    }
    return 0;
}

// The next matching name after the current one (the first when there is
// none yet), in the order of the system's collation, like alphasort: a
// full pass over the directory that keeps the smallest name above the
// current one. Nothing is gathered, so a listing needs no memory of its
// own, whatever the size of the directory.
int findNext(HostListing *l, const char **name)
{
    if (name)
        *name = nullptr;
    if (l->state == 2 || !l->directory)
        return HostFile_lsNoMore;
    DIR *dir = static_cast<DIR *>(l->directory);
    rewinddir(dir);
    char best[sizeof l->current] = {0};
    bool found = false;
    while (dirent *e = readdir(dir)) {
        if (strlen(e->d_name) >= sizeof best)
            continue;
        if (l->state == 1 && strcoll(e->d_name, l->current) <= 0)
            continue;
        if (found && strcoll(e->d_name, best) >= 0)
            continue;
        if (fnmatch(l->pattern, e->d_name, FNM_PERIOD) != 0)
            continue;
        strcpy(best, e->d_name);
        found = true;
    }
    if (!found) {
        l->state = 2;
        return HostFile_lsNoMore;
    }
    strcpy(l->current, best);
    l->state = 1;
    if (name)
        *name = l->current;
    return HostFile_lsFound;
}

} // namespace

// --------------------------------------------------------------- files

int HostFile_open(HostPlatform *, const char *path, uint32_t flags)
{
    path = hostPath(path);
    // Non-blocking while the kind is checked: opening a pipe must not hang.
    int fd = open(path, openFlags(flags) | O_NONBLOCK, 0600);
    if (fd < 0) {
        printf("alien-file: Opening %s failed : %s\n", path, strerror(errno));
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        printf("alien-file: stat of %s failed : %s\n", path, strerror(errno));
        close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        printf("alien-file: %s is not a regular file\n", path);
        close(fd);
        return -1;
    }
    int fl = fcntl(fd, F_GETFL);
    if (fl != -1)
        fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

int64_t HostFile_read(HostPlatform *, int fd, void *buffer, size_t length)
{
    return readAll(fd, buffer, length);
}

int64_t HostFile_write(HostPlatform *, int fd, const void *buffer, size_t length)
{
    for (;;) {
        ssize_t n = write(fd, buffer, length);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

int HostFile_close(HostPlatform *, int fd)
{
    return close(fd) == 0 ? 0 : -1;
}

int HostFile_sync(HostPlatform *, int fd)
{
    return fdatasync(fd) == 0 ? 0 : -1;
}

int64_t HostFile_seek(HostPlatform *, int fd, const int64_t *offset, int32_t whence)
{
    int w;
    switch (whence) {
    case HostFile_seekSet: w = SEEK_SET; break;
    case HostFile_seekCur: w = SEEK_CUR; break;
    case HostFile_seekEnd: w = SEEK_END; break;
    default: return -1;
    }
    off_t r = lseek(fd, offset ? off_t(*offset) : 0, w);
    return r < 0 ? -1 : int64_t(r);
}

int HostFile_stat(HostPlatform *, int fd, HostStat *status)
{
    *status = HostStat{};
    struct stat st;
    if (fstat(fd, &st) != 0)
        return -1;
    status->size = uint64_t(st.st_size);
    return 0;
}

int HostFile_statSize(HostPlatform *, int, const HostStat *status, uint64_t *size)
{
    *size = 0;
    if (!status)
        return -1;
    *size = status->size;
    return 0;
}

int HostFile_mkdir(HostPlatform *, const char *path)
{
    path = hostPath(path);
    if (mkdir(path, 0700) == 0)
        return 0;
    struct stat st;
    if (errno == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode))
        return 0;
    return -1;
}

int HostFile_rename(HostPlatform *, const char *from, const char *to)
{
    return rename(hostPath(from), hostPath(to)) == 0 ? 0 : -1;
}

int HostFile_remove(HostPlatform *, const char *path)
{
    return remove(hostPath(path)) == 0 ? 0 : -1;
}

int HostFile_copy(HostPlatform *, const char *from, const char *to)
{
    from = hostPath(from);
    to = hostPath(to);
    uint8_t buffer[4096];
    int in = open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return -1;
    int out = open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        close(in);
        return -1;
    }
    int result = 0;
    for (;;) {
        int64_t n = readAll(in, buffer, sizeof buffer);
        if (n == 0)
            break;
        // A read error ends the copy: never loop on a failing source.
        if (n < 0 || writeAll(out, buffer, size_t(n)) != 0) {
            result = -1;
            break;
        }
    }
    close(in);
    if (close(out) != 0)
        result = -1;
    if (result != 0)
        remove(to);
    return result;
}

// ------------------------------------------------------------ listings

int HostFile_lsFirst(HostPlatform *, const char *path, HostListing *listing, const char **name)
{
    if (name)
        *name = nullptr;
    *listing = HostListing{};
    listing->state = 2;
    path = hostPath(path);
    const char *slash = path ? strrchr(path, '/') : nullptr;
    if (!slash)
        return HostFile_lsNoSlash;
    size_t length = strlen(path);
    if (length >= sizeof listing->path)
        return HostFile_lsFailed;
    memcpy(listing->path, path, length + 1);
    size_t cut = size_t(slash - path);
    listing->path[cut] = 0;
    listing->pattern = listing->path + cut + 1;
    DIR *dir = opendir(cut ? listing->path : "/");
    if (!dir)
        return HostFile_lsFailed;
    listing->directory = dir;
    listing->state = 0;
    return findNext(listing, name);
}

int HostFile_lsNext(HostPlatform *, const char *, HostListing *listing, const char **name)
{
    if (name)
        *name = nullptr;
    if (!listing)
        return HostFile_lsNoMore;
    return findNext(listing, name);
}

int HostFile_lsCurrent(HostPlatform *, const char *, HostListing *listing, const char **name)
{
    if (name)
        *name = nullptr;
    if (!listing || listing->state != 1)
        return HostFile_lsNoMore;
    if (name)
        *name = listing->current;
    return HostFile_lsFound;
}

void HostFile_lsClose(HostPlatform *, HostListing *listing)
{
    if (!listing)
        return;
    if (listing->directory)
        closedir(static_cast<DIR *>(listing->directory));
    listing->directory = nullptr;
    listing->state = 2;
}

const char *HostFile_pathSuffix(HostPlatform *, const char *)
{
    return nullptr;
}

void HostFile_startHook(HostPlatform *) {}

void HostFile_endHook(HostPlatform *) {}

void HostFile_nameDone(HostPlatform *, const char *) {}
