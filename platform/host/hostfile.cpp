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
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

struct HostListing {
    dirent **entries;   // scandir's array, alphabetical
    int index;          // the current entry, -1 before the first
    int count;
    char *path;         // owned copy of the listing path, cut at its last "/"
    const char *pattern;  // the part after that "/", inside path
};

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

// From the entry after the current one, the first whose name matches.
int findMatch(HostListing *l, const char **name)
{
    for (int i = l->index + 1; i < l->count; i++) {
        if (fnmatch(l->pattern, l->entries[i]->d_name, FNM_PERIOD) == 0) {
            l->index = i;
            if (name)
                *name = l->entries[i]->d_name;
            return HostFile_lsFound;
        }
    }
    l->index = l->count;
    return HostFile_lsNoMore;
}

} // namespace

// ------------------------------------------------------------ platform

HostPlatform *HostPlatform_create(void *owner)
{
    HostPlatform *hp = static_cast<HostPlatform *>(calloc(1, sizeof(HostPlatform)));
    if (!hp)
        return nullptr;
    hp->owner = owner;
    hp->scale = 0x10000;
    hp->screenHeight = 0x40000000;
    hp->areaX0 = int32_t(0xC0000000u);
    hp->areaY0 = int32_t(0xC0000000u);
    hp->areaX1 = 0x40000000;
    return hp;
}

void HostPlatform_destroy(HostPlatform *hp)
{
    free(hp);
}

void HostPlatform_setCallback(HostPlatform *hp, HostTimerFn callback, void *word, void *argument)
{
    if (!hp)
        return;
    hp->timerCallback = callback;
    hp->callbackWord = word;
    hp->callbackArgument = argument;
}

void HostPlatform_setScreenArea(HostPlatform *hp, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (!hp)
        return;
    hp->areaX0 = x0;
    hp->areaY0 = y0;
    hp->areaX1 = x1;
    hp->areaY1 = y1;
}

void HostPlatform_setKeyMode(HostPlatform *hp, uint32_t mode)
{
    if (hp)
        hp->keyMode = mode;
}

void Host_setScreenHeight(HostPlatform *hp, int32_t height)
{
    if (hp)
        hp->screenHeight = height;
}

void Host_freeAndClear(void **pointer)
{
    if (!pointer)
        return;
    free(*pointer);
    *pointer = nullptr;
}

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
    case HostFile_seekSet:
        w = SEEK_SET;
        break;
    case HostFile_seekCur:
        w = SEEK_CUR;
        break;
    case HostFile_seekEnd:
        w = SEEK_END;
        break;
    default:
        return -1;
    }
    off_t r = lseek(fd, offset ? off_t(*offset) : 0, w);
    return r < 0 ? -1 : int64_t(r);
}

int HostFile_stat(HostPlatform *, int fd, void **buffer)
{
    *buffer = nullptr;
    struct stat *st = static_cast<struct stat *>(malloc(sizeof(struct stat)));
    if (!st)
        return -1;
    if (fstat(fd, st) != 0) {
        free(st);
        return -1;
    }
    *buffer = st;
    return 0;
}

int HostFile_statSize(HostPlatform *, int, const void *buffer, uint64_t *size)
{
    *size = 0;
    if (!buffer)
        return -1;
    *size = uint64_t(static_cast<const struct stat *>(buffer)->st_size);
    return 0;
}

void HostFile_freeStat(HostPlatform *, int, void *buffer)
{
    free(buffer);
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
    uint8_t *buffer = static_cast<uint8_t *>(malloc(4096));
    if (!buffer)
        return -1;
    int in = open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        free(buffer);
        return -1;
    }
    int out = open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        close(in);
        free(buffer);
        return -1;
    }
    int result = 0;
    for (;;) {
        int64_t n = readAll(in, buffer, 4096);
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
    free(buffer);
    return result;
}

// ------------------------------------------------------------ listings

int HostFile_lsFirst(HostPlatform *, const char *path, HostListing **listing, const char **name)
{
    *listing = nullptr;
    if (name)
        *name = nullptr;
    path = hostPath(path);
    const char *slash = path ? strrchr(path, '/') : nullptr;
    if (!slash)
        return HostFile_lsNoSlash;
    HostListing *l = static_cast<HostListing *>(calloc(1, sizeof(HostListing)));
    char *copy = strdup(path);
    if (!l || !copy) {
        free(l);
        free(copy);
        return HostFile_lsFailed;
    }
    size_t cut = size_t(slash - path);
    copy[cut] = 0;
    l->path = copy;
    l->pattern = copy + cut + 1;
    l->index = -1;
    l->count = scandir(cut ? copy : "/", &l->entries, nullptr, alphasort);
    if (l->count < 0) {
        free(copy);
        free(l);
        return HostFile_lsFailed;
    }
    *listing = l;
    if (l->count == 0)
        return HostFile_lsNoMore;
    return findMatch(l, name);
}

int HostFile_lsNext(HostPlatform *, const char *, HostListing *listing, const char **name)
{
    if (name)
        *name = nullptr;
    if (!listing || listing->count == 0 || listing->index >= listing->count)
        return HostFile_lsNoMore;
    return findMatch(listing, name);
}

int HostFile_lsCurrent(HostPlatform *, const char *, HostListing *listing, const char **name)
{
    if (name)
        *name = nullptr;
    if (!listing || listing->count == 0 || listing->index < 0 || listing->index >= listing->count)
        return HostFile_lsNoMore;
    if (name)
        *name = listing->entries[listing->index]->d_name;
    return HostFile_lsFound;
}

void HostFile_lsClose(HostPlatform *, HostListing *listing)
{
    if (!listing)
        return;
    for (int i = 0; i < listing->count; i++)
        free(listing->entries[i]);
    free(listing->entries);
    free(listing->path);
    free(listing);
}

const char *HostFile_pathSuffix(HostPlatform *, const char *)
{
    return nullptr;
}

void HostFile_startHook(HostPlatform *)
{
}

void HostFile_endHook(HostPlatform *)
{
}

void HostFile_nameDone(HostPlatform *, const char *)
{
}
