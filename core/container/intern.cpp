// Interning: the byte-string table and use-counted record lists.
#include "core/container/intern.h"

#include <cstring>

#include "core/mem/mem.h"

uint32_t Intern_bucket(const void *bytes, size_t n)
{
    const uint8_t *p = static_cast<const uint8_t *>(bytes);
    uint32_t h = 5381;
    for (size_t i = 0; i < n; i++)
        h = h * 33u + p[i];
    return (h * 0x9e3779b9u) >> 22;
}

const char *Intern_bytes(InternTable *table, const void *bytes, size_t n)
{
    if (!table || (!bytes && n))
        return nullptr;
    InternTableNode **head = &table->heads[Intern_bucket(bytes, n)];
    InternTableNode **link = head;
    for (InternTableNode *node = *head; node; link = &node->next, node = node->next) {
        if (node->length == n && (n == 0 || memcmp(node->bytes, bytes, n) == 0)) {
            if (node != *head) {
                *link = node->next;
                node->next = *head;
                *head = node;
            }
            return node->bytes;
        }
    }
    if (n > SIZE_MAX - offsetof(InternTableNode, bytes) - 1)
        return nullptr;
    InternTableNode *node =
        static_cast<InternTableNode *>(Mem_malloc(offsetof(InternTableNode, bytes) + n + 1));
    if (!node)
        return nullptr;
    if (n)
        memcpy(node->bytes, bytes, n);
    node->bytes[n] = 0;
    node->length = n;
    node->next = *head;
    *head = node;
    return node->bytes;
}

const char *Intern_cstr(InternTable *table, const char *s)
{
    if (!s)
        return nullptr;
    return Intern_bytes(table, s, strlen(s));
}

void Intern_clear(InternTable *table)
{
    if (!table)
        return;
    for (size_t i = 0; i < InternTable_buckets; i++) {
        InternTableNode *node = table->heads[i];
        while (node) {
            InternTableNode *next = node->next;
            Mem_free(node);
            node = next;
        }
        table->heads[i] = nullptr;
    }
}

int InternList_acquire(InternNode **head, const void *key, size_t recordSize,
                       InternRecordEqualFn equal, InternNode **out)
{
    *out = nullptr;
    InternNode **predLink = nullptr; // the link that points at pred
    InternNode *pred = nullptr;
    InternNode **link = head;
    for (InternNode *node = *head; node; node = node->next) {
        if (equal(node->record, key)) {
            if (node->useCount != UINT32_MAX)
                node->useCount++;
            if (pred && node->useCount > pred->useCount) {
                pred->next = node->next;
                node->next = pred;
                *predLink = node;
            }
            *out = node;
            return 0;
        }
        predLink = link;
        pred = node;
        link = &node->next;
    }
    if (recordSize > SIZE_MAX - sizeof(InternNode))
        return 1;
    InternNode *node = static_cast<InternNode *>(Mem_malloc(sizeof(InternNode) + recordSize));
    if (!node)
        return 1;
    node->record = node + 1;
    if (recordSize)
        memcpy(node->record, key, recordSize);
    node->useCount = 1;
    node->next = *head;
    *head = node;
    *out = node;
    return 0;
}

void InternList_init(InternNode **head)
{
    if (head)
        *head = nullptr;
}

int InternList_keyEqual(const void *a, const void *b)
{
    const InternKey *x = static_cast<const InternKey *>(a);
    const InternKey *y = static_cast<const InternKey *>(b);
    for (int i = 0; i < 8; i++)
        if (x->words[i] != y->words[i])
            return 0;
    return (x->words[8] != 0) == (y->words[8] != 0);
}

void InternList_release(InternNode *node)
{
    if (node && node->useCount > 0)
        node->useCount--;
}

void InternList_purge(InternNode **head)
{
    InternNode **link = head;
    while (InternNode *node = *link) {
        if (node->useCount == 0) {
            *link = node->next;
            Mem_free(node);
        } else {
            link = &node->next;
        }
    }
}

void InternList_free(InternNode **head)
{
    if (!head)
        return;
    while (InternNode *node = *head) {
        *head = node->next;
        Mem_free(node);
    }
}
