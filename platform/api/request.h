// Request objects: shared, reference-counted sets of style rules.
//
// A request carries the rules of one source (a style sheet named by a URL,
// or rules an importer made) in the order they were added. Documents keep
// their requests in a request table, and importers, the HTML and office
// code and the selection code share them, so every change and every count
// change takes the object's own lock. The kind decides how much an added
// rule's weight is raised: 1000 for kind 1, 2000 for kind 2, nothing for
// any other kind, so that rules of later kinds win over earlier ones.
//
// The object owns its rules (each points back at it through its owner
// field) and its URL. A change notice (function and argument set as a
// pair) is called after each added rule, outside the lock.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct StyleRule;
struct Url;

// The change notice: called with the argument after a rule was added; its
// result becomes Request_addItem's.
typedef int (*RequestNoticeFn)(void *argument);

struct Request {
    Lock lock;
    uint32_t refCount;        // 1 at creation
    uint32_t kind;            // 1 or 2 raise added weights by 1000 or 2000
    uint32_t changed;         // 1 at creation and after each added rule
    void *noticeArg;          // change notice: argument
    RequestNoticeFn noticeFn; // change notice: function
    StyleRule *first;         // rules in the order added, linked through next
    StyleRule *last;
    Url *url; // the source's URL (owned), or null
};

// A new request of the kind with one reference into *out. 0, or 1 when
// memory runs out (*out null).
[[nodiscard]] int Request_new(EngineContext *context, uint32_t kind, Request **out);

// Adds a reference (null ignored).
void Request_addRef(Request *request);
// Drops a reference (null ignored). The last one frees the URL, destroys
// every rule and frees the object.
void Request_release(Request *request);

// Replaces the URL by a copy of url (null clears it). 0, or 1 when the copy
// cannot be made (the old URL stays).
[[nodiscard]] int Request_setUrl(Request *request, const Url *url);
// The URL, lent (null when none).
Url *Request_getUrl(const Request *request);

// Takes over *rule: raises its weight by the kind's amount, links it at the
// tail with the request as owner, sets the changed flag and clears *rule.
// Then, when both notice function and argument are set, returns the
// notice's result; else 0. 16 for a null request, rule pointer or rule (the
// rule stays the caller's).
int Request_addItem(Request *request, StyleRule **rule);

// Take and release the request's lock (walks of the rules need it when
// other tasks may add rules).
void Request_lock(Request *request);
void Request_unlock(Request *request);

// The first rule (null when none), and the rule after rule (lent).
StyleRule *Request_firstItem(const Request *request);
StyleRule *Request_nextItem(const Request *request, const StyleRule *rule);
// The rule at a 0-based index, or null past the end (takes the lock).
StyleRule *Request_itemAt(Request *request, uint32_t index);

// Sets the change-notice pair, and reads its argument.
void Request_setCallback(Request *request, void *argument, RequestNoticeFn function);
void *Request_getCallback(Request *request);

// 1 when the kind is 2; the kind.
int Request_isKind2(const Request *request);
uint32_t Request_getKind(const Request *request);
