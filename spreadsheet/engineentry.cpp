// Entry points the host bridge calls while it configures the engine.
#include "spreadsheet/engineentry.h"

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/text/charset_cjk.h"

int Engine_installBuiltinCharset(EngineContext *context)
{
    if (!context || Charset_createHooks(context) != 0)
        return 0;
    CharsetHooks *h = context->charsetHooks;
    CharsetTable **slots[4] = {&h->japanese, &h->big5, &h->korean, &h->chinese};
    bool had[4];
    for (int i = 0; i < 4; i++)
        had[i] = *slots[i] != nullptr;
    if (Charset_installJapanese(h) == 0 && Charset_installBig5(h) == 0 &&
        Charset_installKorean(h) == 0 && Charset_installChinese(h) == 0)
        return 1;
    // Half a set of tables would convert some documents and not others.
    for (int i = 0; i < 4; i++)
        if (!had[i]) {
            Mem_free(*slots[i]);
            *slots[i] = nullptr;
        }
    return 0;
}
