// Fuzz target for the Word writer: the input is a .doc file. When it loads,
// the document is saved to a new file and that file must load again;
// nothing may crash and nothing may leak once the documents are gone.
#include "tests/fuzz/roundtrip.h"
#include "word/reader/word.h"
#include "word/writer/writer.h"

namespace {

int loadWord(EngineContext *ctx, VfsHandle *stream, Edr_Doc *doc, Edr_Node *root)
{
    return Word_loadDocument(ctx, nullptr, nullptr, stream, doc, root);
}

const roundtrip::Format word{".doc", loadWord, Word_saveDocument};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return roundtrip::run(word, data, size);
}
