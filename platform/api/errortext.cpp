// The unknown-error text and the fatal result check.
#include "platform/api/errortext.h"

#include "core/task/task.h"

namespace {

constexpr char16_t unknownError[] = u"Unknown error (%1,%2,%3)";

} // namespace

const char16_t *Engine_unknownErrorText(int32_t)
{
    return unknownError;
}

void Engine_abortIfError(int result)
{
    if (result != 0)
        Std_abort();
}
