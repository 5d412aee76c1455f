// Glyph names to codes (see glyphnames.h).
#include "fonts/glyphnames.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

constexpr int32_t glyphnamesFirstPrivate = -768; // low 16 bits 0xFD00

// The first table entry of name, or -1.
int32_t glyphnamesFind(const char *name)
{
    int32_t lo = 0, hi = int32_t(Pdf_glyphNameCount) - 1;
    while (lo <= hi) {
        int32_t mid = lo + (hi - lo) / 2;
        int c = std::strcmp(Pdf_glyphNameTable[mid].name, name);
        if (c == 0) {
            while (mid > 0 && std::strcmp(Pdf_glyphNameTable[mid - 1].name, name) == 0)
                mid--;
            return mid;
        }
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

} // namespace

int Pdf_Font_glyphNameToCode(PdfGlyphNameList *list, const char *name, int allowNew, uint16_t *code)
{
    *code = 0;
    if (!name)
        return Res_ok;
    int32_t i = glyphnamesFind(name);
    if (i >= 0) {
        *code = Pdf_glyphNameTable[i].value;
        return Res_ok;
    }
    if (!list)
        return Res_ok;
    for (PdfGlyphName *n = list->head; n; n = n->next)
        if (std::strcmp(n->name, name) == 0) {
            *code = n->code;
            return Res_ok;
        }
    if (!allowNew)
        return Res_ok;
    size_t len = std::strlen(name);
    PdfGlyphName *node = static_cast<PdfGlyphName *>(Mem_malloc(sizeof(PdfGlyphName)));
    char *copy = static_cast<char *>(Mem_malloc(len + 1));
    if (!node || !copy) {
        Mem_free(node);
        Mem_free(copy);
        return Res_noMemory;
    }
    std::memcpy(copy, name, len + 1);
    // The counter runs through 0xFD00-0xFFFF; past that its low 16 bits
    // would come round to 0 and the following values would collide with
    // real characters, so every later name shares the last private code.
    int32_t next = list->nextCode;
    if (next > -1)
        next = -1;
    else
        list->nextCode++;
    node->name = copy;
    node->code = uint16_t(uint32_t(next) & 0xFFFFu);
    node->next = list->head;
    list->head = node;
    *code = node->code;
    return Res_ok;
}

int Pdf_Font_glyphNamesNew(PdfGlyphNameList **out)
{
    *out = static_cast<PdfGlyphNameList *>(Mem_calloc(1, sizeof(PdfGlyphNameList)));
    if (!*out)
        return Res_noMemory;
    (*out)->nextCode = glyphnamesFirstPrivate;
    return Res_ok;
}

void Pdf_Font_glyphNamesClear(PdfGlyphNameList *list)
{
    if (!list)
        return;
    while (PdfGlyphName *n = list->head) {
        list->head = n->next;
        Mem_free(n->name);
        Mem_free(n);
    }
    list->nextCode = glyphnamesFirstPrivate;
}

void Pdf_Font_glyphNamesFree(PdfGlyphNameList *list)
{
    Pdf_Font_glyphNamesClear(list);
    Mem_free(list);
}
