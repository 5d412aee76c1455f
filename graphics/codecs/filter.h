// Choosing the decoder of a compressed source.
//
// The owner of some compressed data (a PDF image object, for one) knows
// how it is coded and answers yes/no questions about it through a query:
// query(user, code, argument, &answer) returns an error code and stores an
// integer answer, a non-negative answer meaning yes. Filter_openDecoder
// asks the codes in the order 5 (no decoding), 6 (LZW), 7 (Flate) and 8
// (RunLength) and opens the first decoding answered yes over the source.
#pragma once

#include <cstdint>

struct ByteStream;

enum : int32_t {
    Filter_codeNone = 5,
    Filter_codeLzw = 6,
    Filter_codeFlate = 7,
    Filter_codeRunLength = 8,
};

// The query: the same shape as the image hook, so that an image's owner
// can answer with its hook.
typedef int (*FilterQueryFn)(void *user, int32_t code, void *argument, int32_t *answer);

struct FilterDescriptor {
    FilterQueryFn query;
    void *user;
};

// *outStream = the decoder the descriptor asks for over source: source itself
// for code 5, else a new stream the caller closes (the source stays the
// caller's). 0; the creator's error; Res_filterNoDecoder when no code answers
// yes or a query fails. *outStream is null on failure.
[[nodiscard]] int Filter_openDecoder(ByteStream *source, ByteStream **outStream,
                                     const FilterDescriptor *descriptor);

// One question: yes (1) when the query succeeds with a non-negative
// answer. A failing query is remembered in *error and answers no; once
// *error is set every later question answers no without asking.
int Filter_probe(int *error, const FilterDescriptor *descriptor, int32_t code);
