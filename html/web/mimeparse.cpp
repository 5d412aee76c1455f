// The MIME multipart parser: a message fed in chunks becomes a tree of
// parts that keep the offsets of their bodies in the source and their
// header lines as text; in collect mode bodies are decoded as they pass.
// Header values and parameters are read from the header text on demand.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/text/cstr.h"
#include "html/parser.h"
#include "html/web/mime.h"
#include "core/container/mimesrc.h"

namespace {

const char *const kTypes[] = {"Message", "multipart", "text", "efif", "image", "application"};
const char *const kSubtypes[] = {"mixed", "alternative", "related", "octet-stream",
                                 "plain", "enriched",    "html",    "png",
                                 "gif",   "jpeg",        "bmp"};
const char *const kEncodings[] = {"7bit", "8bit", "binary", "quoted-printable", "base64"};
const char *const kHeaders[] = {"Content-Disposition",       "Content-ID",
                                "Content-Location",          "Content-Transfer-Encoding",
                                "Content-Transfer-Location", "Content-Type"};
const char *const kParams[] = {"boundary", "charset", "filename", "name", "start", "type"};

bool isWhite(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The tspecials of RFC 2045 other than the question mark.
bool isSpecial(char c)
{
    return c && strchr("()<>@,;:\\\"/[]=", c) != nullptr;
}

// A token ends at NUL, a control byte, a space or a special.
size_t tokenLength(const char *s)
{
    size_t n = 0;
    while (s[n] && uint8_t(s[n]) > 0x20 && uint8_t(s[n]) != 0x7F && !isSpecial(s[n]))
        n++;
    return n;
}

// The code of the last name that the token starts (ignoring case), or
// fallback. An empty token names nothing.
template <size_t N>
uint32_t matchToken(const char *const (&table)[N], const char *token, size_t n, uint32_t fallback)
{
    uint32_t code = fallback;
    if (!n)
        return code;
    for (uint32_t i = 0; i < N; i++)
        if (strlen(table[i]) >= n && Cstr_nicmp(table[i], token, n) == 0)
            code = i;
    return code;
}

char *dupN(const char *s, size_t n)
{
    char *out = static_cast<char *>(Mem_malloc(n + 1));
    if (out) {
        memcpy(out, s, n);
        out[n] = 0;
    }
    return out;
}

// Appends n bytes to a growing NUL-terminated buffer. 0 or 1.
int appendText(char **buf, uint32_t *length, uint32_t *capacity, const char *s, size_t n,
               uint32_t first)
{
    if (uint64_t(*length) + n + 1 > 0xFFFFFFF0u)
        return Res_noMemory;
    if (*length + n + 1 > *capacity) {
        uint32_t cap = *capacity ? *capacity : first;
        while (cap < *length + n + 1)
            cap = cap > 0x7FFFFFFFu ? 0xFFFFFFF0u : cap * 2;
        char *grown = static_cast<char *>(Mem_realloc(*buf, cap));
        if (!grown)
            return Res_noMemory;
        *buf = grown;
        *capacity = cap;
    }
    memcpy(*buf + *length, s, n);
    *length += uint32_t(n);
    (*buf)[*length] = 0;
    return Res_ok;
}

// Appends one header line, its character references decoded unless it is
// a Content-Location line (a location is kept as written).
int appendHeaderLine(MimePart *part, const uint8_t *line, size_t n)
{
    static constexpr char kLocation[] = "Content-Location";
    if (n >= sizeof kLocation - 1 &&
        Cstr_nicmp(reinterpret_cast<const char *>(line), kLocation, sizeof kLocation - 1) == 0)
        return appendText(&part->headers, &part->headersLength, &part->headersCapacity,
                          reinterpret_cast<const char *>(line), n, 256);
    char16_t *wide = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!wide)
        return Res_noMemory;
    for (size_t i = 0; i < n; i++)
        wide[i] = line[i];
    size_t len = Html_decodeRefs(wide, n);
    char *narrow = static_cast<char *>(Mem_malloc(len + 1));
    if (!narrow) {
        Mem_free(wide);
        return Res_noMemory;
    }
    // Characters that ISO-8859-1 cannot hold become '?'.
    for (size_t i = 0; i < len; i++)
        narrow[i] = wide[i] < 0x100 ? char(wide[i]) : '?';
    Mem_free(wide);
    int err =
        appendText(&part->headers, &part->headersLength, &part->headersCapacity, narrow, len, 256);
    Mem_free(narrow);
    return err;
}

// Where the header line of a logical header ends: after its line break.
const char *lineAfter(const char *s)
{
    while (*s && *s != '\r' && *s != '\n')
        s++;
    if (*s == '\r' && *++s == '\n')
        s++;
    else if (*s == '\n')
        s++;
    return s;
}

} // namespace

// ---------------------------------------------------------------- records

MimeParser *Mime_parserNew(MimePart **root, uint32_t collect)
{
    *root = nullptr;
    MimeParser *parser = static_cast<MimeParser *>(Mem_calloc(1, sizeof(MimeParser)));
    if (!parser)
        return nullptr;
    parser->collect = collect;
    MimePart *part = Mime_partNew(parser);
    if (!part) {
        Mem_free(parser);
        return nullptr;
    }
    parser->current = part;
    *root = part;
    return parser;
}

MimePart *Mime_partNew(MimeParser *parser)
{
    MimePart *part = static_cast<MimePart *>(Mem_calloc(1, sizeof(MimePart)));
    if (!part)
        return nullptr;
    part->type = MimeType_none;
    part->subtype = MimeSub_none;
    part->number = parser->counter++;
    return part;
}

void Mime_parserFree(MimeParser *parser)
{
    if (!parser)
        return;
    Mem_free(parser->pending);
    parser->pending = nullptr;
    parser->pendingLength = parser->pendingCapacity = 0;
}

void Mime_partFree(MimePart *part)
{
    if (!part)
        return;
    // Down to a leaf, free it, and go on from its parent: every part is
    // met a bounded number of times and no stack is used.
    MimePart *p = part;
    for (;;) {
        while (p->firstChild)
            p = p->firstChild;
        MimePart *parent = p == part ? nullptr : p->parent;
        if (parent) {
            parent->firstChild = p->nextSibling;
            if (!parent->firstChild)
                parent->lastChild = nullptr;
        }
        Mem_free(p->headers);
        Mem_free(p->boundary);
        Mem_free(p->decoded);
        Mem_free(p);
        if (!parent)
            return;
        p = parent;
    }
}

// ------------------------------------------------------------- headers

char *Mime_findHeader(const char *headers, uint32_t id)
{
    if (!headers || id < 1 || id > 6)
        return nullptr;
    const char *name = kHeaders[id - 1];
    size_t nameLength = strlen(name);
    const char *s = headers;
    while (*s) {
        const char *end = lineAfter(s);
        while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n')
            end = lineAfter(end);
        if (strlen(s) >= nameLength && Cstr_nicmp(s, name, nameLength) == 0)
            return dupN(s, size_t(end - s));
        s = end;
    }
    return nullptr;
}

char *Mime_getHeaderValue(const MimePart *part, uint32_t id)
{
    char *header = part ? Mime_findHeader(part->headers, id) : nullptr;
    if (!header)
        return nullptr;
    const char *s = strchr(header, ':');
    char *value = nullptr;
    if (s) {
        s++;
        while (isWhite(*s))
            s++;
        size_t n = 0;
        if (*s == '"') {
            s++;
            while (s[n] && s[n] != '"')
                n++;
        } else if (id == MimeHdr_contentType) {
            while (s[n] && s[n] != ';' && !isWhite(s[n]))
                n++;
        } else {
            for (;; n++) {
                char c = s[n];
                if (!c || c == ' ' || c == '\t' || c == '\n')
                    break;
                if (c == '\r') {
                    // A folded line (CR LF and a blank) stays in the value,
                    // which then ends at the blank.
                    if (s[n + 1] == '\n' && (s[n + 2] == ' ' || s[n + 2] == '\t'))
                        n += 1;
                    else
                        break;
                }
            }
        }
        if (*s)
            value = dupN(s, n);
    }
    Mem_free(header);
    return value;
}

char *Mime_getParam(const MimePart *part, uint32_t id, uint32_t param)
{
    if (param < 1 || param > 6)
        return nullptr;
    char *header = part ? Mime_findHeader(part->headers, id) : nullptr;
    if (!header)
        return nullptr;
    const char *name = kParams[param - 1];
    size_t nameLength = strlen(name);
    char *value = nullptr;
    // Parameters follow ';' as whole names (ignoring case); a quoted value
    // may hold ';' of its own.
    bool quoted = false;
    for (const char *s = header; *s && !value; s++) {
        if (*s == '"')
            quoted = !quoted;
        if (quoted || *s != ';')
            continue;
        const char *p = s + 1;
        while (isWhite(*p))
            p++;
        if (strlen(p) < nameLength || Cstr_nicmp(p, name, nameLength) != 0)
            continue;
        p += nameLength;
        while (isWhite(*p))
            p++;
        if (*p != '=')
            continue;
        p++;
        while (isWhite(*p))
            p++;
        if (!*p)
            break;
        size_t n = 0;
        if (*p == '"') {
            p++;
            while (p[n] && p[n] != '"')
                n++;
        } else {
            while (p[n] && uint8_t(p[n]) >= 0x21 && !isSpecial(p[n]))
                n++;
        }
        value = dupN(p, n);
        if (!value)
            break;
    }
    Mem_free(header);
    return value;
}

int Mime_parseContentHeaders(MimePart *part)
{
    char *header = Mime_findHeader(part->headers, MimeHdr_contentTransferEncoding);
    if (header) {
        const char *s =
            header + strlen(header) >= header + 26 ? header + 26 : header + strlen(header);
        while (*s == ' ' || *s == '\t')
            s++;
        part->encoding = matchToken(kEncodings, s, tokenLength(s), part->encoding);
        Mem_free(header);
    }
    header = Mime_findHeader(part->headers, MimeHdr_contentType);
    if (!header)
        return Res_ok;
    const char *s = strlen(header) >= 13 ? header + 13 : header + strlen(header);
    while (*s == ' ' || *s == '\t')
        s++;
    size_t n = tokenLength(s);
    part->type = matchToken(kTypes, s, n, part->type);
    if (s[n] == '/') {
        const char *sub = s + n + 1;
        part->subtype = matchToken(kSubtypes, sub, tokenLength(sub), part->subtype);
    }
    Mem_free(header);
    if (part->type != MimeType_multipart)
        return Res_ok;
    // Nesting beyond the limit makes a leaf: its delimiters are body text.
    if (part->depth >= Mime_maxDepth)
        return Res_ok;
    char *boundary = Mime_getParam(part, MimeHdr_contentType, MimeParam_boundary);
    if (!boundary)
        return Res_mimeNoBoundary;
    Mem_free(part->boundary);
    part->boundary = boundary;
    part->boundaryLength = uint32_t(strlen(boundary));
    return Res_ok;
}

// ---------------------------------------------------------------- bodies

uint32_t Mime_decodedSizeEstimate(const MimePart *part)
{
    uint32_t n = part->bodyLength;
    if (part->encoding != MimeEnc_base64)
        return n + 1;
    if (n > 0x1ffffffeu)
        return n;
    return 5 + n * 3 / 4;
}

CharsetConverter Mime_decoderFor(const MimePart *part)
{
    switch (part->encoding) {
    case MimeEnc_7bit:
    case MimeEnc_8bit:
    case MimeEnc_binary: return Charset_copyBytes;
    case MimeEnc_quotedPrintable: return Mime_qpDecode;
    case MimeEnc_base64: return Mime_base64Decode;
    default: return nullptr;
    }
}

int Mime_partAppendDecoded(EngineContext *context, MimePart *part, const uint8_t *bytes, uint32_t n,
                           uint32_t *consumed)
{
    *consumed = 0;
    CharsetConverter convert = Mime_decoderFor(part);
    if (!convert)
        return Res_mimeNoDecoder;
    if (uint64_t(part->decodedLength) + n + 105 > 0xFFFFFFF0u)
        return Res_noMemory;
    if (part->decodedCapacity <= part->decodedLength + n + 5) {
        uint32_t cap = part->decodedCapacity + n + 100;
        uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(part->decoded, cap));
        if (!grown)
            return Res_noMemory;
        part->decoded = grown;
        part->decodedCapacity = cap;
    }
    size_t used = 0, written = 0;
    int err = convert(context, bytes, n, part->decoded + part->decodedLength,
                      part->decodedCapacity - part->decodedLength, &used, &written, nullptr);
    if (err == Res_charsetDestFull)
        err = Res_ok; // the byte copy reports an exactly fitting copy as full
    *consumed = uint32_t(used);
    part->decodedLength += uint32_t(written);
    return err;
}

// ---------------------------------------------------------------- parsing

namespace {

// The line break before pos's line ended a body of this part: its length.
void endBody(MimePart *part, uint32_t offset)
{
    part->bodyLength = offset > part->bodyStart ? offset - part->bodyStart : 0;
}

// The part of the chain from part upwards whose boundary starts the line
// (after "--"), or null.
MimePart *delimiterOwner(MimePart *part, const uint8_t *line, size_t n)
{
    if (n < 2 || line[0] != '-' || line[1] != '-')
        return nullptr;
    for (MimePart *p = part; p; p = p->parent) {
        if (p->boundary && n >= 2 + size_t(p->boundaryLength) &&
            memcmp(line + 2, p->boundary, p->boundaryLength) == 0)
            return p;
    }
    return nullptr;
}

} // namespace

int Mime_parse(EngineContext *context, const uint8_t *data, uint32_t length, uint32_t *consumed,
               uint32_t base, int final, MimeParser *parser)
{
    *consumed = 0;
    if (!parser || !parser->current || (length && !data))
        return Res_missingArgument;
    if (uint64_t(base) + length > 0xFFFFFFFFu)
        return Res_fileSize; // part offsets are 32-bit
    const uint8_t *end = data + length;
    const uint8_t *line = data;
    const uint8_t *run = parser->collect && parser->state == MimeState_body ? data : nullptr;
    uint32_t sinceYield = 0;
    int err = Res_ok;
    while (line < end) {
        // 1. The line and its break.
        const uint8_t *p = line;
        while (p < end && *p != '\r' && *p != '\n')
            p++;
        const uint8_t *textEnd = p;
        if (p < end && *p++ == '\r' && p < end && *p == '\n')
            p++;
        sinceYield += uint32_t(p - line);
        if (sinceYield >= 512 && context) {
            sinceYield = 0;
            Task_yield(context);
        }
        if (p >= end && !final)
            break; // held back: offered again with the next chunk
        uint32_t lineOffset = base + uint32_t(line - data);
        uint32_t nextOffset = base + uint32_t(p - data);
        bool midLine = parser->midLine != 0;
        parser->midLine = 0;
        // 2. Delimiters.
        MimePart *owner =
            midLine ? nullptr : delimiterOwner(parser->current, line, size_t(textEnd - line));
        if (owner) {
            MimePart *cur = parser->current;
            endBody(cur, lineOffset);
            if (parser->collect && parser->state == MimeState_body && run && run < line &&
                !cur->boundary) {
                uint32_t used = 0;
                err = Mime_partAppendDecoded(context, cur, run, uint32_t(line - run), &used);
                if (err != Res_ok)
                    return err;
            }
            run = nullptr;
            // Parts closed implicitly on the way up end here too.
            for (MimePart *q = cur->parent; q && q != owner; q = q->parent)
                if (!q->bodyLength)
                    endBody(q, lineOffset);
            const uint8_t *after = line + 2 + owner->boundaryLength;
            if (after + 2 <= textEnd && after[0] == '-' && after[1] == '-') {
                endBody(owner, nextOffset);
                parser->current = owner;
                parser->state = MimeState_closed;
            } else {
                MimePart *part = Mime_partNew(parser);
                if (!part)
                    return Res_noMemory;
                part->parent = owner;
                part->depth = owner->depth + 1;
                if (owner->lastChild)
                    owner->lastChild->nextSibling = part;
                else
                    owner->firstChild = part;
                owner->lastChild = part;
                part->bodyStart = nextOffset;
                parser->current = part;
                parser->state = MimeState_opened;
            }
        }
        // 3. By state.
        switch (parser->state) {
        case MimeState_opened: parser->state = MimeState_partHeaders; break;
        case MimeState_closed: break; // the epilogue, and the closing line itself
        case MimeState_body:
            if (!parser->current->parent) {
                // The root's own body: kept for a message without parts.
                if (line[0] != '\r' && line[0] != '\n')
                    parser->rootText = 1;
                if (!parser->collect) {
                    err = appendText(&parser->pending, &parser->pendingLength,
                                     &parser->pendingCapacity, reinterpret_cast<const char *>(line),
                                     size_t(p - line), 256);
                    if (err != Res_ok)
                        return err;
                }
            }
            break;
        default: // headers
            if (line == textEnd) {
                MimePart *cur = parser->current;
                err = Mime_parseContentHeaders(cur);
                if (err != Res_ok)
                    return err;
                cur->bodyStart = nextOffset;
                if (parser->collect)
                    run = p;
                parser->state = MimeState_body;
            } else {
                err = appendHeaderLine(parser->current, line, size_t(p - line));
                if (err != Res_ok)
                    return err;
            }
            break;
        }
        line = p;
    }
    // 3. In collect mode the body decoded so far goes into the part; a
    // held-back line that cannot begin a delimiter goes with it.
    if (parser->collect && parser->state == MimeState_body && run) {
        const uint8_t *runEnd = line;
        if (final) {
            runEnd = end;
        } else if (end - line >= 3 && line[0] != '-' && line[1] != '-') {
            runEnd = end;
            // The held-back line is body text of the root too.
            if (!parser->current->parent && !parser->midLine && line[0] != '\r' && line[0] != '\n')
                parser->rootText = 1;
        }
        MimePart *cur = parser->current;
        if (runEnd > run && !cur->boundary) {
            uint32_t used = 0;
            err = Mime_partAppendDecoded(context, cur, run, uint32_t(runEnd - run), &used);
            if (err != Res_ok)
                return err;
            line = final ? end : run + used;
        } else if (runEnd > line) {
            line = runEnd;
        }
        // The next chunk starts inside a line when what stays is not at
        // a line start.
        if (line > data)
            parser->midLine = !final && line[-1] != '\n' && line[-1] != '\r';
    }
    // 4. Consumed: up to the line start; the rest is offered again.
    *consumed = uint32_t(line - data);
    if (!final)
        return Res_ok;
    // 5. The end of input ends every open body.
    uint32_t endOffset = base + length;
    for (MimePart *q = parser->current; q; q = q->parent)
        if (!q->bodyLength)
            endBody(q, endOffset);
    MimePart *cur = parser->current;
    if (parser->rootText && parser->state == MimeState_body && !cur->parent) {
        // A message without parts: its body is a text/plain root.
        if (cur->type == MimeType_none || cur->subtype == MimeSub_none) {
            static constexpr char kPlain[] = "Content-type: text/plain\n";
            char *text = dupN(kPlain, sizeof kPlain - 1);
            if (!text)
                return Res_noMemory;
            Mem_free(cur->headers);
            cur->headers = text;
            cur->headersLength = cur->headersCapacity = uint32_t(sizeof kPlain - 1);
            cur->headersCapacity++;
            cur->type = MimeType_text;
            cur->subtype = MimeSub_plain;
        }
        if (!parser->collect && parser->pendingLength) {
            uint32_t used = 0;
            err = Mime_partAppendDecoded(context, cur,
                                         reinterpret_cast<const uint8_t *>(parser->pending),
                                         parser->pendingLength, &used);
        }
    }
    Mem_free(parser->pending);
    parser->pending = nullptr;
    parser->pendingLength = parser->pendingCapacity = 0;
    if (err != Res_ok)
        return err;
    // A message whose input ended with its headers: no body came at all.
    if (parser->state == MimeState_body && !cur->parent && cur->bodyStart >= endOffset &&
        !cur->firstChild)
        return Res_mimeNoBody;
    return Res_ok;
}

// ------------------------------------------------------- body-source lists

void Mime_srcListFree(MimeSrcList *list)
{
    if (!list)
        return;
    for (uint32_t i = 0; i < list->count; i++)
        Mime_srcFree(list->sources[i]);
    Mem_free(list->sources);
    Lock_fini(&list->lock);
    Mem_free(list);
}
