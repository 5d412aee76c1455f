// The request table of a document: a null-terminated array of counted
// requests.
#include "document/edr/requests.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/api/request.h"

namespace {

uint32_t countOf(const DocRequestTable *table)
{
    uint32_t n = 0;
    if (table && table->requests)
        while (table->requests[n])
            n++;
    return n;
}

Request *kept(Request *request)
{
    if (request)
        Request_addRef(request);
    return request;
}

} // namespace

int DocRequests_create(Edr_Doc *doc, void *context, DocRequestTable **out)
{
    *out = static_cast<DocRequestTable *>(Mem_calloc(1, sizeof(DocRequestTable)));
    if (!*out)
        return Res_noMemory;
    (*out)->doc = doc;
    (*out)->context = context;
    return Res_ok;
}

void DocRequests_free(DocRequestTable *table)
{
    if (!table)
        return;
    if (table->sub) {
        Mem_free(table->sub->block0);
        Mem_free(table->sub->block3);
        Mem_free(table->sub);
    }
    for (uint32_t i = 0; table->requests && table->requests[i]; i++)
        Request_release(table->requests[i]);
    Mem_free(table->requests);
    Mem_free(table->blocks8[0]);
    Mem_free(table->blocks8[1]);
    Mem_free(table->block12);
    Mem_free(table);
}

int DocRequests_append(DocRequestTable *table, Request *request)
{
    uint32_t n = countOf(table);
    Request **a =
        static_cast<Request **>(Mem_realloc(table->requests, (size_t(n) + 2) * sizeof(Request *)));
    if (!a)
        return Res_noMemory;
    a[n] = request;
    a[n + 1] = nullptr;
    table->requests = a;
    return Res_ok;
}

Request *Request_firstOfDoc(DocRequestTable *table)
{
    return kept(DocRequests_lentAt(table, 0));
}

Request *Request_nextOfDoc(DocRequestTable *table, Request *request)
{
    for (uint32_t i = 0; Request *q = DocRequests_lentAt(table, i); i++)
        if (q == request)
            return kept(table->requests[i + 1]);
    return nullptr;
}

uint32_t DocRequests_countKind2(const DocRequestTable *table)
{
    uint32_t n = 0;
    for (uint32_t i = 0; Request *q = DocRequests_lentAt(table, i); i++)
        n += Request_isKind2(q) ? 1 : 0;
    return n;
}

Request *DocRequests_nthKind2(DocRequestTable *table, uint32_t n)
{
    for (uint32_t i = 0; Request *q = DocRequests_lentAt(table, i); i++)
        if (Request_isKind2(q) && n-- == 0)
            return kept(q);
    return nullptr;
}
