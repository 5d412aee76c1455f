// Fuzz target for the PostScript token reader: every token's text is as
// long as it says and NUL-terminated, integers are made of digits and
// carry their value, literal names hold no delimiter; the reader stops
// with a known status and nothing leaks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/pslexer.h"
#include "pdf/resources/pdfstream.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "pslexer_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    (void)FuzzHeap_get(8 << 20);
    size_t baseline = TestHeap_usedBytes();
    ByteStream *s = nullptr;
    require(Pdf_Stream_openMemory(data, size, &s) == Res_ok);
    PsLexer *lx = nullptr;
    require(PsLexer_create(s, &lx) == Res_ok);
    size_t tokens = 0;
    while (PsToken *t = PsToken_next(lx)) {
        require(t->kind <= PsToken_string);
        require(t->text[t->length] == 0);
        if (t->kind == PsToken_integer) {
            uint32_t v = 0;
            require(t->length > 0);
            for (uint32_t i = 0; i < t->length; i++) {
                require(t->text[i] >= '0' && t->text[i] <= '9');
                v = v * 10 + uint32_t(t->text[i] - '0');
            }
            require(int32_t(v) == t->value);
        }
        if (t->kind == PsToken_literal || (t->kind == PsToken_name && t->length > 2))
            for (uint32_t i = 0; i < t->length; i++)
                require(uint8_t(t->text[i]) > 32 && t->text[i] != '/' && t->text[i] != '(' &&
                        t->text[i] != '%');
        PsToken_free(t);
        require(++tokens <= size + 1);
    }
    int status = PsToken_status(lx);
    require(status == 0 || status == PsLexer_syntaxError);
    PsToken_destroy(lx);
    (void)ByteStream_close(s);
    require(TestHeap_usedBytes() == baseline);
    return 0;
}
