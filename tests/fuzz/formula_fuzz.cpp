// Fuzz target for formula text. The input is read twice: as formula text
// (up to its first NUL) through the parser, and as a token string through
// the renderer. Whatever the parser accepts renders as text; and text made
// from tokens, once parsed, is stable: rendering and parsing it again gives
// the same tokens. Nothing may crash, read past its input or leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/formula/formulatext.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

// Parses text; 0 with the tokens in out.
int parse(const char *text, std::vector<uint8_t> *out)
{
    Excel_FormulaSource src{nullptr, text};
    Excel_FormulaTokens t;
    int rc = Excel_Formula_parseText(&src, &t);
    require(rc == Res_ok || rc == Res_formulaSyntax);
    if (rc == Res_ok) {
        require(t.tokens && t.length && t.lastToken < t.length);
        out->assign(t.tokens, t.tokens + t.length);
    } else {
        require(!t.tokens && !t.length);
    }
    Excel_FormulaTokens_free(&t);
    return rc;
}

// Renders tokens; 0 with the text in out.
int render(const std::vector<uint8_t> &tokens, std::vector<char> *out)
{
    // An exact copy on the heap, so that the sanitizer sees any overrun.
    std::vector<uint8_t> copy(tokens);
    char *s = nullptr;
    int rc = Excel_Formula_toText(nullptr, copy.data(), copy.size(), &s);
    require(rc == Res_ok || rc == Res_formulaSyntax || rc == Res_formulaUnknownFunction);
    require((rc == Res_ok) == (s != nullptr));
    if (s)
        out->assign(s, s + strlen(s) + 1);
    Mem_free(s);
    return rc;
}

// parse(render(tokens)) and parse(render(that)) agree when the first
// parse succeeds.
void checkStable(const std::vector<uint8_t> &tokens)
{
    std::vector<char> text, again;
    std::vector<uint8_t> first, second;
    if (render(tokens, &text) != Res_ok || parse(text.data(), &first) != Res_ok)
        return;
    require(render(first, &again) == Res_ok);
    require(parse(again.data(), &second) == Res_ok);
    require(first == second);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    (void)FuzzHeap_get(8 << 20);
    size_t before = TestHeap_usedBytes();

    std::vector<char> text(data, data + size);
    text.push_back(0);
    std::vector<uint8_t> tokens;
    if (parse(text.data(), &tokens) == Res_ok) {
        std::vector<char> shown;
        require(render(tokens, &shown) == Res_ok);
        checkStable(tokens);
    }
    checkStable(std::vector<uint8_t>(data, data + size));

    require(TestHeap_usedBytes() == before);
    return 0;
}
