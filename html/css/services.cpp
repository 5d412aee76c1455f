// The style services of HTML documents: CSS text out of rules, rules out of
// style attribute texts and single values, and property names to ids.
#include <cstring>

#include "core/style/stylerule.h"
#include "document/edr/doc.h"
#include "html/css/css.h"
#include "html/css/csstables.h"
#include "html/css/csstext.h"
#include "html/parser.h"

namespace {

char16_t *ruleToText(int kind, const StyleRule *rule)
{
    return kind == 1 ? Css_ruleToText(rule) : nullptr;
}

int parseDeclarations(EngineContext *context, int kind, const char16_t *text, size_t length,
                      StyleRule *rule)
{
    if (kind != 1 || !rule)
        return 0;
    StyleRule_clearProps(rule);
    return Css_parseDeclarationsText(context, text, length, rule);
}

const CssServices kServices = {ruleToText, parseDeclarations, Css_parsePropertyText,
                               Css_propertyToText, Css_propertyIdByName};

} // namespace

int Css_hasServices(Edr_Doc *doc)
{
    if (!doc)
        return 0;
    Edr_Doc_readLock(doc);
    bool html = doc->typeCode == Html_typeCode;
    Edr_Doc_readUnlock(doc);
    return html ? 1 : 0;
}

int Css_getServices(Edr_Doc *doc, CssServices *out)
{
    if (!out)
        return 0;
    if (!Css_hasServices(doc)) {
        memset(out, 0, sizeof *out);
        return 0;
    }
    *out = kServices;
    return 1;
}
