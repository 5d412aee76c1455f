// The parts of a URL's host: user, password, host name and port.
//
// The authority of a URL is kept as one string; the network code asks for
// its parts and sometimes replaces one of them (a redirect to another port,
// credentials from a dialog). The host is read as user ":" password "@"
// host name ":" port. A host name in square brackets (an IPv6 address)
// runs to its closing bracket, so its colons are not taken for the port.
#include "platform/url/url.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"

namespace {

struct Span {
    const char16_t *at;
    size_t len;
    int present;
};

struct HostSplit {
    Span user;
    Span password;
    Span name;
    Span port;
};

size_t indexOf(const char16_t *s, size_t len, char16_t c)
{
    size_t i = 0;
    while (i < len && s[i] != c)
        i++;
    return i;
}

HostSplit splitHost(const char16_t *host)
{
    HostSplit h = {};
    size_t len = Ustr_len(host);
    size_t at = indexOf(host, len, u'@');
    const char16_t *rest = host;
    if (at < len) {
        size_t colon = indexOf(host, at, u':');
        h.user = {host, colon, 1};
        if (colon < at)
            h.password = {host + colon + 1, at - colon - 1, 1};
        rest = host + at + 1;
        len -= at + 1;
    }
    size_t nameEnd;
    size_t close = rest[0] == u'[' ? indexOf(rest, len, u']') : len;
    if (close < len && (close + 1 == len || rest[close + 1] == u':'))
        nameEnd = close + 1;
    else
        nameEnd = indexOf(rest, len, u':');
    h.name = {rest, nameEnd, 1};
    if (nameEnd < len)
        h.port = {rest + nameEnd + 1, len - nameEnd - 1, 1};
    return h;
}

// The port of a port text: 0 for none or an empty text; Res_urlBadPort unless a
// decimal number from 1 to 65535.
int parsePort(const char16_t *text, size_t len, uint16_t *port)
{
    *port = 0;
    if (!text || len == 0)
        return Res_ok;
    uint16_t v = 0;
    if (!Ustr_parseU16(text, text + len, nullptr, &v) || v == 0)
        return Res_urlBadPort;
    *port = v;
    return Res_ok;
}

char16_t *dupSpan(const Span &s, int *ok)
{
    if (!s.present)
        return nullptr;
    char16_t *out = Ustr_dupN(s.at, s.len);
    if (out && s.len == 0)
        out[0] = 0;
    if (!out)
        *ok = 0;
    return out;
}

Span spanOf(const char16_t *arg, const Span &present)
{
    if (!arg)
        return present;
    return Span{arg, Ustr_len(arg), 1};
}

size_t append(char16_t *out, size_t at, const Span &s)
{
    if (out && s.len)
        std::memcpy(out + at, s.at, s.len * sizeof(char16_t));
    return at + s.len;
}

size_t appendUnit(char16_t *out, size_t at, char16_t c)
{
    if (out)
        out[at] = c;
    return at + 1;
}

// Writes (or measures, with out null) the rebuilt host.
size_t buildHost(char16_t *out, const Span &user, const Span &password, const Span &name,
                 const Span &port)
{
    size_t at = 0;
    int hasUser = user.present && user.len;
    if (hasUser) {
        at = append(out, at, user);
        if (password.present && password.len) {
            at = appendUnit(out, at, u':');
            at = append(out, at, password);
        }
        at = appendUnit(out, at, u'@');
    }
    at = append(out, at, name);
    if (port.present && port.len) {
        at = appendUnit(out, at, u':');
        at = append(out, at, port);
    }
    return at;
}

} // namespace

int Url_getHostParts(const Url *url, char16_t **user, char16_t **password, char16_t **hostName,
                     uint16_t *port)
{
    char16_t **outs[3] = {user, password, hostName};
    for (char16_t **o : outs) {
        if (o)
            *o = nullptr;
    }
    if (port)
        *port = 0;
    if (!url || !url->host)
        return Res_ok;
    HostSplit h = splitHost(url->host);
    uint16_t v = 0;
    if (parsePort(h.port.at, h.port.len, &v) != Res_ok)
        return Res_urlBadPort;
    int ok = 1;
    const Span *spans[3] = {&h.user, &h.password, &h.name};
    for (int i = 0; i < 3; i++) {
        if (outs[i])
            *outs[i] = dupSpan(*spans[i], &ok);
    }
    if (!ok) {
        for (char16_t **o : outs) {
            if (o) {
                Mem_free(*o);
                *o = nullptr;
            }
        }
        return Res_noMemory;
    }
    if (port)
        *port = v;
    return Res_ok;
}

int Url_setHostParts(Url *url, const char16_t *user, const char16_t *password,
                     const char16_t *hostName, const char16_t *portText)
{
    if (!url)
        return Res_missingArgument;
    HostSplit h = url->host ? splitHost(url->host) : HostSplit{};
    Span u = spanOf(user, h.user);
    Span p = spanOf(password, h.password);
    Span n = spanOf(hostName, h.name);
    Span port = spanOf(portText, h.port);
    uint16_t v = 0;
    if (parsePort(port.at, port.len, &v) != Res_ok)
        return Res_urlBadPort;
    size_t len = buildHost(nullptr, u, p, n, port);
    char16_t *host = static_cast<char16_t *>(Mem_malloc((len + 1) * sizeof(char16_t)));
    if (!host)
        return Res_noMemory;
    buildHost(host, u, p, n, port);
    host[len] = 0;
    Mem_free(url->host);
    url->host = host;
    Url_rehash(url);
    return Res_ok;
}
