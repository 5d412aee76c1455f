// Group node attributes: class names and ids, names, labels, texts, URLs,
// the three property lists, subtypes and the event-handler attribute
// records, kept in the group's payload and its extension record.
//
// Setters work under the tree write lock and mark the group changed;
// getters work under the read lock and hand out copies.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/support/support.h"
#include "core/text/strtable.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/edr_internal.h"
#include "document/edr/handler.h"
#include "document/edr/node.h"
#include "document/manager/manager.h"
#include "document/edr/webops.h"
#include "platform/url/url.h"

using edr::count;
using edr::group;
using edr::isGroup;

namespace edr {

int checkGroup(Edr_Doc *, Edr_Node *g)
{
    if (!g)
        return Res_nullInput;
    if (count(g) == 0)
        return Res_deadNode;
    if (!isGroup(g))
        return Res_notGroup;
    return Res_ok;
}

void freeRecords(Edr_AttrRecord *r)
{
    while (r) {
        Edr_AttrRecord *next = r->next;
        Mem_free(r->value);
        Mem_free(r);
        r = next;
    }
}

void freeExt(Edr_GroupExt *ext)
{
    if (!ext)
        return;
    freeRecords(ext->records);
    Url_free(reinterpret_cast<Url *>(ext->url));
    for (StyleRule *p : ext->props)
        StyleRule_destroy(p);
    Mem_free(ext->text);
    Mem_free(ext);
}

} // namespace edr

namespace {

void queueChange(Edr_Doc *doc)
{
    // A change whose pass cannot be scheduled now is retried by the next change.
    (void)Edr_Mgr_queueChange(doc);
}

// Takes the write lock and checks the group; on error the lock is not held.
int beginWrite(Edr_Doc *doc, Edr_Node *g)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    err = edr::checkGroup(doc, g);
    if (err)
        Edr_Doc_writeUnlock(doc);
    return err;
}

int beginRead(Edr_Doc *doc, Edr_Node *g)
{
    Edr_Doc_readLock(doc);
    int err = edr::checkGroup(doc, g);
    if (err)
        Edr_Doc_readUnlock(doc);
    return err;
}

Edr_GroupExt *extOf(Edr_Node *g)
{
    return group(g)->ext;
}

uint32_t idCount(const uint32_t *ids)
{
    uint32_t n = 0;
    while (ids && ids[n])
        n++;
    return n;
}

// A new id list: ids with id inserted in ascending order (duplicates kept).
uint32_t *withId(const uint32_t *ids, uint32_t id)
{
    uint32_t n = idCount(ids);
    uint32_t *list = static_cast<uint32_t *>(Mem_malloc((n + 2) * sizeof(uint32_t)));
    if (!list)
        return nullptr;
    if (n)
        memcpy(list, ids, n * sizeof(uint32_t));
    list[n] = id;
    list[n + 1] = 0;
    // One bubble pass from the end places the new id.
    for (uint32_t i = n; i > 0 && list[i - 1] > list[i]; i--) {
        uint32_t t = list[i - 1];
        list[i - 1] = list[i];
        list[i] = t;
    }
    return list;
}

// Interns prefix + n units of chars in the document's table (no lock taken).
uint32_t internPrefixed(Edr_Doc *doc, char16_t prefix, const char16_t *chars, uint32_t n)
{
    if (!doc->strings)
        return 0;
    char16_t *buf = static_cast<char16_t *>(Mem_malloc((size_t(n) + 2) * sizeof(char16_t)));
    if (!buf)
        return 0;
    uint32_t len = 0;
    if (prefix)
        buf[len++] = prefix;
    memcpy(buf + len, chars, n * sizeof(char16_t));
    len += n;
    buf[len] = 0;
    uint32_t id = StrTable_internN(doc->strings, buf, len);
    Mem_free(buf);
    return id;
}

bool isBlank(char16_t c)
{
    return c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 32;
}

// The name of id without its one-unit prefix (new string), or null.
char16_t *nameWithoutPrefix(Edr_Doc *doc, uint32_t id)
{
    // Keys above the table's ids (rule keys of importers) name nothing.
    if (!doc->strings || !id || id > StrTable_maxId)
        return nullptr;
    char16_t *name = StrTable_getName(doc->strings, uint16_t(id));
    if (!name)
        return nullptr;
    char16_t *rest = Ustr_dup(name[0] ? name + 1 : name);
    Mem_free(name);
    return rest;
}

} // namespace

int Edr_Node_ensureExt(Edr_Node *g)
{
    if (group(g)->ext)
        return Res_ok;
    group(g)->ext = static_cast<Edr_GroupExt *>(Mem_calloc(1, sizeof(Edr_GroupExt)));
    return group(g)->ext ? int(Res_ok) : int(Res_noMemory);
}

// ----------------------------------------------------------- class names

int Edr_Node_addId(Edr_Doc *doc, Edr_Node *g, uint32_t id)
{
    if (!id)
        return Res_ok;
    int err = beginWrite(doc, g);
    if (err)
        return err;
    uint32_t *list = withId(group(g)->ids, id);
    if (!list) {
        err = Res_noMemory;
    } else {
        Mem_free(group(g)->ids);
        group(g)->ids = list;
        g->flags |= Edr_Node_changedBit;
    }
    Edr_Doc_writeUnlock(doc);
    if (!err)
        queueChange(doc);
    return err;
}

int Edr_Node_setIds(Edr_Doc *doc, Edr_Node *g, const uint32_t *words, uint32_t n)
{
    uint32_t *copy = nullptr;
    if (words && n) {
        copy = static_cast<uint32_t *>(Mem_malloc(n * sizeof(uint32_t)));
        if (!copy)
            return Res_noMemory;
        memcpy(copy, words, n * sizeof(uint32_t));
    }
    int err = beginWrite(doc, g);
    if (err) {
        Mem_free(copy);
        return err;
    }
    Mem_free(group(g)->ids);
    group(g)->ids = copy;
    g->flags |= Edr_Node_changedBit;
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

int Edr_Node_setClassNames(Edr_Doc *doc, Edr_Node *g, const char16_t *chars, uint32_t n)
{
    int err = beginWrite(doc, g);
    if (err)
        return err;
    uint32_t *list = nullptr;
    uint32_t i = 0;
    while (!err && i < n) {
        while (i < n && isBlank(chars[i]))
            i++;
        uint32_t start = i;
        while (i < n && !isBlank(chars[i]))
            i++;
        if (i == start)
            break;
        uint32_t id = internPrefixed(doc, '.', chars + start, i - start);
        uint32_t *grown = id ? withId(list, id) : nullptr;
        if (!grown) {
            err = Res_noMemory;
            break;
        }
        Mem_free(list);
        list = grown;
    }
    if (err) {
        Mem_free(list); // the previous list stays
    } else {
        Mem_free(group(g)->ids);
        group(g)->ids = list;
        g->flags |= Edr_Node_changedBit;
    }
    Edr_Doc_writeUnlock(doc);
    if (!err)
        queueChange(doc);
    return err;
}

int Edr_Node_getClassNames(Edr_Doc *doc, Edr_Node *g, char16_t **out)
{
    *out = nullptr;
    int err = beginRead(doc, g);
    if (err)
        return err;
    char16_t *text = nullptr;
    for (const uint32_t *p = group(g)->ids; p && *p; p++) {
        char16_t *name = nameWithoutPrefix(doc, *p);
        if (!name)
            continue;
        char16_t *joined = text ? Ustr_appendDup(text, u" ") : nullptr;
        if (text && !joined) {
            Mem_free(name);
            err = Res_noMemory;
            break;
        }
        if (joined)
            text = joined;
        joined = Ustr_appendDup(text, name);
        Mem_free(name);
        if (!joined) {
            err = Res_noMemory;
            break;
        }
        text = joined;
    }
    Edr_Doc_readUnlock(doc);
    if (err) {
        Mem_free(text);
        return err;
    }
    *out = text;
    return Res_ok;
}

int Edr_Node_copyIdList(Edr_Doc *doc, Edr_Node *g, uint32_t **out, uint32_t *countOut)
{
    *out = nullptr;
    if (countOut)
        *countOut = 0;
    int err = beginRead(doc, g);
    if (err)
        return err;
    const uint32_t *ids = group(g)->ids;
    if (ids) {
        uint32_t n = idCount(ids) + 1;
        *out = static_cast<uint32_t *>(Mem_malloc(n * sizeof(uint32_t)));
        if (*out) {
            memcpy(*out, ids, n * sizeof(uint32_t));
            if (countOut)
                *countOut = n;
        } else {
            err = Res_noMemory;
        }
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

// -------------------------------------------------------- property lists

int Edr_Node_setPropList(Edr_Doc *doc, Edr_Node *g, uint32_t slot, StyleRule *list)
{
    if (slot > 2)
        return Res_ok;
    int err = beginWrite(doc, g);
    if (err)
        return err;
    if ((err = Edr_Node_ensureExt(g)) != 0) {
        Edr_Doc_writeUnlock(doc);
        return err;
    }
    StyleRule *old = extOf(g)->props[slot];
    extOf(g)->props[slot] = list;
    g->flags |= Edr_Node_changedBit;
    Edr_Doc_writeUnlock(doc);
    if (old != list)
        StyleRule_destroy(old);
    queueChange(doc);
    return Res_ok;
}

int Edr_Node_getPropList(Edr_Doc *doc, Edr_Node *g, uint32_t slot, StyleRule **out)
{
    *out = nullptr;
    if (slot > 2)
        return Res_ok;
    int err = beginRead(doc, g);
    if (err)
        return err;
    if (extOf(g) && extOf(g)->props[slot])
        err = StyleRule_clone(out, extOf(g)->props[slot]);
    Edr_Doc_readUnlock(doc);
    return err;
}

int Edr_Node_setPropList0(Edr_Doc *doc, Edr_Node *g, StyleRule *list)
{
    return Edr_Node_setPropList(doc, g, 0, list);
}

int Edr_Node_getPropList0(Edr_Doc *doc, Edr_Node *g, StyleRule **out)
{
    return Edr_Node_getPropList(doc, g, 0, out);
}

int Edr_Node_setPropList1(Edr_Doc *doc, Edr_Node *g, StyleRule *list)
{
    return Edr_Node_setPropList(doc, g, 1, list);
}

int Edr_Node_getPropList2(Edr_Doc *doc, Edr_Node *g, StyleRule **out)
{
    return Edr_Node_getPropList(doc, g, 2, out);
}

int Edr_Node_setPropList2Resolved(Edr_Doc *doc, Edr_Node *g, StyleRule *list)
{
    Edr_Doc_readLock(doc);
    bool hasUrl = doc->url != nullptr;
    Edr_Doc_readUnlock(doc);
    if (hasUrl && Edr_Doc_imagesEnabled(doc->app)) {
        int err = Edr_Doc_resolveUrlProps(doc, nullptr, list, PropId_backgroundImage);
        if (!err)
            err = Edr_Doc_resolveUrlProps(doc, nullptr, list, PropId_listStyleImage);
        if (err)
            return err;
    }
    return Edr_Node_setPropList(doc, g, 2, list);
}

int Edr_Node_setPropString(Edr_Doc *doc, Edr_Node *g, uint32_t id, const char16_t *chars)
{
    if (!chars)
        return Res_nullInput;
    char16_t *copy = Ustr_dup(chars);
    if (!copy)
        return Res_noMemory;
    Prop v;
    Prop_zero(&v);
    Prop_setUstr(&v, id, copy, uint32_t(Ustr_len(copy)));
    int err = beginWrite(doc, g);
    if (err) {
        Prop_free(&v);
        return err;
    }
    bool made = false;
    err = Edr_Node_ensureExt(g);
    if (!err && !extOf(g)->props[0]) {
        err = StyleRule_create(&extOf(g)->props[0]);
        made = !err;
    }
    if (!err) {
        int changed = 0;
        err = StyleRule_setProp(extOf(g)->props[0], &v, &changed);
        if (err && made) {
            StyleRule_destroy(extOf(g)->props[0]);
            extOf(g)->props[0] = nullptr;
        }
    }
    Edr_Doc_writeUnlock(doc);
    Prop_free(&v);
    return err;
}

// --------------------------------------------------- ids, names, labels

int Edr_Node_setIdName(Edr_Doc *doc, Edr_Node *g, uint32_t id)
{
    int err = beginWrite(doc, g);
    if (!err && (err = Edr_Node_ensureExt(g)) != 0)
        Edr_Doc_writeUnlock(doc);
    if (err)
        return err;
    // An equal id leaves the node's change mark as it was: a pending mark
    // from an earlier change must not be lost.
    bool differs = extOf(g)->idName != id;
    extOf(g)->idName = id;
    if (differs)
        g->flags |= Edr_Node_changedBit;
    Edr_Doc_writeUnlock(doc);
    if (differs)
        queueChange(doc);
    return Res_ok;
}

int Edr_Node_setIdText(Edr_Doc *doc, Edr_Node *g, const char16_t *chars, uint32_t n)
{
    if (!doc || !g || !chars)
        return Res_nullInput;
    Edr_Doc_writeLockWait(doc);
    uint32_t id = internPrefixed(doc, '#', chars, n);
    Edr_Doc_writeUnlock(doc);
    if (!id)
        return Res_noMemory;
    return Edr_Node_setIdName(doc, g, id);
}

int Edr_Node_getIdText(Edr_Doc *doc, Edr_Node *g, char16_t **out)
{
    *out = nullptr;
    if (!g)
        return Res_nullGroup;
    int err = beginRead(doc, g);
    if (err)
        return err;
    if (extOf(g) && doc->strings && extOf(g)->idName) {
        *out = nameWithoutPrefix(doc, extOf(g)->idName);
        if (!*out)
            err = Res_noMemory;
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

namespace {

int setInterned(Edr_Doc *doc, Edr_Node *g, const char16_t *chars, uint32_t n, bool label)
{
    if (!doc || !g || !chars)
        return Res_nullInput;
    int err = beginWrite(doc, g);
    if (err)
        return err;
    err = Edr_Node_ensureExt(g);
    if (!err) {
        uint32_t id = internPrefixed(doc, 0, chars, n);
        if (!id)
            err = Res_noMemory;
        else if (label)
            extOf(g)->labelId = id;
        else
            extOf(g)->nameId = id;
    }
    Edr_Doc_writeUnlock(doc);
    return err;
}

int getInterned(Edr_Doc *doc, Edr_Node *g, bool label, char16_t **out)
{
    *out = nullptr;
    int err = beginRead(doc, g);
    if (err)
        return err;
    uint32_t id = extOf(g) ? (label ? extOf(g)->labelId : extOf(g)->nameId) : 0;
    if (id && doc->strings) {
        *out = StrTable_getName(doc->strings, uint16_t(id));
        if (!*out)
            err = Res_noMemory;
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

} // namespace

int Edr_Node_setInternedText(Edr_Doc *doc, Edr_Node *g, const char16_t *chars, uint32_t n)
{
    return setInterned(doc, g, chars, n, false);
}

int Edr_Node_getName(Edr_Doc *doc, Edr_Node *g, char16_t **out)
{
    return getInterned(doc, g, false, out);
}

int Edr_Node_setText(Edr_Doc *doc, Edr_Node *g, const char16_t *chars)
{
    char16_t *copy = nullptr;
    if (chars && !(copy = Ustr_dup(chars)))
        return Res_noMemory;
    int err = beginWrite(doc, g);
    if (!err && (err = Edr_Node_ensureExt(g)) != 0)
        Edr_Doc_writeUnlock(doc);
    if (err) {
        Mem_free(copy);
        return err;
    }
    char16_t *old = extOf(g)->text;
    extOf(g)->text = copy;
    Edr_Doc_writeUnlock(doc);
    Mem_free(old);
    return Res_ok;
}

int Edr_Node_copyText2(Edr_Doc *doc, Edr_Node *g, char16_t **out)
{
    *out = nullptr;
    int err = beginRead(doc, g);
    if (err)
        return err;
    if (extOf(g) && extOf(g)->text && !(*out = Ustr_dup(extOf(g)->text)))
        err = Res_noMemory;
    Edr_Doc_readUnlock(doc);
    return err;
}

// ------------------------------------------------------------------- URL

int Edr_Node_setUrlFlagged(Edr_Doc *doc, Edr_Node *g, const Url *url, int flag)
{
    EngineContext *app = doc->app;
    if (url && Edr_Web_mapHookPresent(app)) {
        Url *resolved = nullptr;
        char16_t *text = Url_toString(url, 31);
        int err = text ? Edr_Doc_resolveUrl(doc, text, &resolved) : int(Res_noMemory);
        Mem_free(text);
        if (!err)
            err = Edr_Web_mapHook(app, resolved, &flag);
        Url_free(resolved);
        if (err)
            return err;
    }
    UrlPacked *packed = nullptr;
    if (url && !(packed = Url_pack(url)))
        return Res_noMemory;
    int err = beginWrite(doc, g);
    if (!err && (err = Edr_Node_ensureExt(g)) != 0)
        Edr_Doc_writeUnlock(doc);
    if (err) {
        Url_free(reinterpret_cast<Url *>(packed));
        return err;
    }
    UrlPacked *old = extOf(g)->url;
    extOf(g)->url = packed;
    extOf(g)->urlFlag = flag != 0;
    g->flags |= Edr_Node_changedBit;
    Edr_Doc_writeUnlock(doc);
    Url_free(reinterpret_cast<Url *>(old));
    queueChange(doc);
    return Res_ok;
}

int Edr_Node_setUrl(Edr_Doc *doc, Edr_Node *g, const Url *url)
{
    return Edr_Node_setUrlFlagged(doc, g, url, 0);
}

int Edr_Node_getUrl(Edr_Doc *doc, Edr_Node *g, Url **out)
{
    *out = nullptr;
    int err = beginRead(doc, g);
    if (err)
        return err;
    if (extOf(g) && extOf(g)->url && !(*out = Url_unpack(extOf(g)->url)))
        err = Res_noMemory;
    Edr_Doc_readUnlock(doc);
    return err;
}

char16_t *Edr_Node_findInheritedString(Edr_Doc *doc, Edr_Node *node, uint32_t id)
{
    if (!node)
        return nullptr;
    Edr_Doc_readLock(doc);
    char16_t *found = nullptr;
    for (Edr_Node *n = isGroup(node) ? node : node->parentNode; n; n = n->parentNode) {
        Edr_GroupExt *ext = group(n)->ext;
        StylePropItem *item =
            ext && ext->props[0] ? StyleRule_findProp(ext->props[0], id) : nullptr;
        if (item && item->value.type == PropType_ustr && item->value.payload) {
            found = Prop_dupUstr(&item->value);
            break;
        }
    }
    Edr_Doc_readUnlock(doc);
    return found;
}

// -------------------------------------------------------------- subtypes

int Edr_Node_setSubtypeValue(Edr_Doc *doc, Edr_Node *g, uint32_t subtype, void *value)
{
    Url *urlCopy = nullptr;
    if (subtype == Edr_Subtype_url && value && !(urlCopy = Url_copy(static_cast<Url *>(value))))
        return Res_noMemory;
    int err = beginWrite(doc, g);
    if (err) {
        Url_free(urlCopy);
        return err;
    }
    Edr_Group *gr = group(g);
    uint32_t newSub = subtype;
    switch (subtype) {
    case Edr_Subtype_formControl:
        if (gr->subtypeValue != value) {
            gr->subtypeValue = value;
            err = Edr_Web_registerControl(doc->app, g);
        }
        break;
    case Edr_Subtype_formValue: err = Edr_Web_setValue(doc->app, g, value); break;
    case Edr_Subtype_word: gr->subtypeValue = value; break;
    case Edr_Subtype_url:
        if (Edr_Node_subtype(g) == Edr_Subtype_url)
            Url_free(static_cast<Url *>(gr->subtypeValue));
        gr->subtypeValue = urlCopy;
        break;
    default:
        gr->subtypeValue = nullptr;
        newSub = subtype & 15;
        break;
    }
    if (!err)
        g->flags = (g->flags & ~uint32_t(Edr_Node_subtypeMask)) |
                   ((newSub << Edr_Node_subtypeShift) & Edr_Node_subtypeMask);
    g->flags |= Edr_Node_changedBit;
    Edr_Doc_writeUnlock(doc);
    if (!err)
        queueChange(doc);
    return err;
}

int Edr_Node_getSubtype(Edr_Doc *doc, Edr_Node *g, uint32_t *subtype, void **value)
{
    *subtype = 0;
    *value = nullptr;
    int err = beginRead(doc, g);
    if (err)
        return err;
    *subtype = Edr_Node_subtype(g);
    if (*subtype == Edr_Subtype_formControl || *subtype == Edr_Subtype_word) {
        *value = group(g)->subtypeValue;
    } else if (*subtype == Edr_Subtype_url && group(g)->subtypeValue) {
        *value = Url_copy(static_cast<Url *>(group(g)->subtypeValue));
        if (!*value)
            err = Res_noMemory;
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

int Edr_Node_setEnabled(Edr_Doc *doc, Edr_Node *g, int on)
{
    int err = beginWrite(doc, g);
    if (err)
        return err;
    if (on)
        g->flags |= Edr_Node_enabledBit;
    else
        g->flags &= ~uint32_t(Edr_Node_enabledBit);
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

int Edr_Node_setTabIndex(Edr_Doc *doc, Edr_Node *g, uint32_t value)
{
    // Under the write lock: the extension record is made and changed in
    // the tree that readers walk.
    int err = beginWrite(doc, g);
    if (err)
        return err;
    err = Edr_Node_ensureExt(g);
    if (!err)
        extOf(g)->tabIndex = int16_t(value > 32767 ? 0 : value);
    Edr_Doc_writeUnlock(doc);
    return err;
}

// ------------------------------------------------------ attribute records

int Edr_Node_addRecord(Edr_Doc *doc, Edr_Node *g, uint32_t key, uint32_t key2, intptr_t,
                       const char16_t *chars, uint32_t n, intptr_t word, uint32_t mode)
{
    if (!g || !isGroup(g))
        return Res_ok;
    Edr_AttrRecord *rec = static_cast<Edr_AttrRecord *>(Mem_calloc(1, sizeof(Edr_AttrRecord)));
    if (!rec)
        return Res_noMemory;
    rec->key = key;
    rec->key2 = key2;
    rec->word = word;
    static const char16_t empty[1] = {0};
    rec->value = Ustr_dupN(chars ? chars : empty, chars ? n : 0);
    if (!rec->value) {
        Mem_free(rec);
        return Res_noMemory;
    }
    int err = beginWrite(doc, g);
    if (!err && (err = Edr_Node_ensureExt(g)) != 0)
        Edr_Doc_writeUnlock(doc);
    if (err) {
        edr::freeRecords(rec);
        return err;
    }
    Edr_AttrRecord **link = &extOf(g)->records;
    bool exists = false;
    while (*link) {
        Edr_AttrRecord *r = *link;
        if (r->key == key && r->key2 == key2) {
            if (mode == 1) {
                *link = r->next;
                r->next = doc->freeRecords;
                doc->freeRecords = r;
                continue;
            }
            exists = true;
        }
        link = &r->next;
    }
    if (mode == 2 && exists) {
        Edr_Doc_writeUnlock(doc);
        edr::freeRecords(rec);
        return Res_ok;
    }
    *link = rec;
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

int Edr_Node_removeRecords(Edr_Doc *doc, Edr_Node *g, uint32_t key)
{
    Edr_Doc_writeLockWait(doc);
    int err = edr::checkGroup(doc, g);
    if (!err && extOf(g)) {
        Edr_AttrRecord **link = &extOf(g)->records;
        while (*link) {
            Edr_AttrRecord *r = *link;
            if (r->word && (key == 30 || r->key == key)) {
                *link = r->next;
                r->next = doc->freeRecords;
                doc->freeRecords = r;
            } else {
                link = &r->next;
            }
        }
    }
    Edr_Doc_writeUnlock(doc);
    return err;
}

int Edr_Node_hasRecordWord(Edr_Doc *doc, Edr_Node *g, intptr_t word)
{
    if (beginRead(doc, g))
        return 0;
    int found = 0;
    for (Edr_AttrRecord *r = extOf(g) ? extOf(g)->records : nullptr; r && !found; r = r->next)
        found = r->word == word;
    Edr_Doc_readUnlock(doc);
    return found;
}

char16_t *Edr_Node_recordsToText(Edr_Doc *doc, Edr_Node *g)
{
    if (beginRead(doc, g))
        return nullptr;
    char16_t *text = Ustr_dup(u"");
    for (Edr_AttrRecord *r = extOf(g) ? extOf(g)->records : nullptr; r && text; r = r->next) {
        const char *name = Html_eventName(r->key);
        char16_t quote = Ustr_chr(r->value, '"') ? u'\'' : u'"';
        char16_t q[2] = {quote, 0};
        char16_t *t = Ustr_appendDup(text, u" ");
        if (t && name) {
            char16_t *wide = Ustr_fromCstr(name);
            char16_t *t2 = wide ? Ustr_appendDup(t, wide) : nullptr;
            Mem_free(wide);
            if (t2 != t && t2)
                t = t2;
            else if (!t2) {
                Mem_free(t);
                t = nullptr;
            }
        }
        const char16_t *parts[] = {u"=", q, r->value, q};
        for (const char16_t *p : parts) {
            if (!t)
                break;
            t = Ustr_appendDup(t, p);
        }
        text = t;
    }
    Edr_Doc_readUnlock(doc);
    return text;
}

// Attribute ids that have no text form here.
namespace {

bool attributeHasNoText(uint32_t id)
{
    static constexpr uint16_t kRanges[][2] = {
        {6, 8},     {10, 11},   {13, 13},   {16, 16},   {18, 19},   {22, 23},   {27, 27},
        {29, 31},   {34, 39},   {42, 43},   {45, 45},   {47, 47},   {49, 49},   {52, 57},
        {62, 62},   {64, 64},   {66, 68},   {73, 73},   {75, 76},   {80, 82},   {85, 86},
        {91, 91},   {93, 93},   {96, 99},   {101, 114}, {119, 119}, {122, 124}, {127, 133},
        {135, 135}, {137, 137}, {139, 139}, {141, 142}, {145, 146}, {148, 150}, {154, 156},
    };
    for (const auto &r : kRanges)
        if (id >= r[0] && id <= r[1])
            return true;
    return false;
}

} // namespace

int Edr_Node_getAttribute(Edr_Doc *doc, Edr_Node *node, const char16_t *name, uint32_t n,
                          char16_t **out)
{
    if (!out)
        return Res_nullInput;
    *out = nullptr;
    if (!doc || !node || !name)
        return Res_nullInput;
    uint32_t id = Edr_Web_attributeId(doc->app, name, n);
    if (!id || attributeHasNoText(id))
        return Res_ok;
    if (id == 9)
        return Edr_Node_copyText2(doc, node, out);
    if (id == 88)
        return Edr_Node_getName(doc, node, out);
    int err = beginRead(doc, node);
    if (err)
        return err;
    Edr_GroupExt *ext = extOf(node);
    StylePropItem *item = ext && ext->props[0] ? StyleRule_findProp(ext->props[0], id) : nullptr;
    if (item && !(*out = Edr_Web_attributeText(doc->app, &item->value)))
        err = Res_noMemory;
    Edr_Doc_readUnlock(doc);
    return err;
}

// ------------------------------------------- importer content operations

namespace {

int replaceWith(Edr_Doc *doc, Edr_Node *g, char16_t *text, bool second)
{
    Edr_Doc_readLock(doc);
    int err = edr::checkGroup(doc, g);
    Edr_HandlerDesc *h = doc->handler;
    Edr_Doc_readUnlock(doc);
    Edr_ReplaceFn op = h ? (second ? h->extOp4 : h->extOp3) : nullptr;
    if (!err && op) {
        err = Edr_Node_removeVisibleChildren(doc, g);
        if (!err)
            err = op(doc->app, h, doc, g, text, text ? uint32_t(Ustr_len(text)) : 0);
    }
    Mem_free(text);
    return err;
}

} // namespace

int Edr_Node_replaceContent(Edr_Doc *doc, Edr_Node *g, char16_t *text)
{
    return replaceWith(doc, g, text, false);
}

int Edr_Node_replaceContent2(Edr_Doc *doc, Edr_Node *g, char16_t *text)
{
    return replaceWith(doc, g, text, true);
}
