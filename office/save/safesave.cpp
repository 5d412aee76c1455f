// The safe save: the temporary file beside the target and the one rename.
#include "office/save/safesave.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

enum : uint32_t {
    urlPathPart = 4,
};

// The target's URL with ".tmp" appended to its path; null without memory.
Url *temporaryUrl(const Url *target)
{
    Url *copy = Url_copy(target);
    if (!copy)
        return nullptr;
    char16_t *path = Url_toString(copy, urlPathPart);
    char16_t *longer = path ? Ustr_appendCstr(path, ".tmp") : nullptr;
    if (!longer) {
        Mem_free(path);
        Url_free(copy);
        return nullptr;
    }
    // 1 when the part was set.
    int set = Url_setPart(copy, urlPathPart, longer);
    Mem_free(longer);
    if (!set) {
        Url_free(copy);
        return nullptr;
    }
    return copy;
}

} // namespace

int SafeSave_run(EngineContext *context, const Url *target, SafeSave_WriteFn write, void *argument)
{
    if (!target || !write)
        return Res_nullInput;
    Url *temp = temporaryUrl(target);
    if (!temp)
        return Res_noMemory;
    // A file the save may have made, even partly, is its own to remove;
    // anything that held the name before is not.
    int existed = 0;
    static constexpr uint32_t modes[2] = {Vfs_modeRead, Vfs_modeList};
    for (uint32_t mode : modes) {
        VfsHandle *probe = nullptr;
        uint32_t accepted = 0;
        if (!existed && Vfs_open(context, temp, mode, &probe, &accepted) == Res_ok) {
            existed = 1;
            (void)Vfs_close(probe);
        }
    }
    int created = 0;
    int err = write(argument, temp, &created);
    created |= !existed;
    // Only a complete file replaces the target, by one rename.
    if (!err)
        err = Vfs_rename(context, temp, target);
    if (err && created)
        (void)Vfs_urlOp15(context, temp);
    Url_free(temp);
    return err;
}
