// The copy of a saved Word document's other storages and streams:
// everything of the source file but the streams the writer rebuilds.
#include "core/result.h"
#include "office/ole2/olewriter.h"
#include "word/writer/writer.h"

namespace {

// The streams of the root that the writer writes itself.
constexpr const char16_t *rebuilt[] = {u"WordDocument", u"0Table", u"1Table", u"Data", nullptr};

} // namespace

int WordSave_copyStorage(OleHandle *source, uint32_t sourceId, OleHandle *out, uint32_t outParent)
{
    return OleWriter_copyStorage(source, sourceId, out, outParent, rebuilt);
}

int WordSave_copyOtherStreams(WordWriter *w)
{
    if (!w->source)
        return Res_ok;
    return WordSave_copyStorage(w->source, 0, w->out, 0);
}
