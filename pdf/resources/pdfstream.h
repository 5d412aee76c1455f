// The data of PDF streams: filter chains over a stream's raw bytes, and
// whole streams read into memory.
#pragma once

#include "pdf/obj.h"

struct PdfDoc;

// The decoded data of a stream object as a new string block (the caller
// frees it). 0 or an error; *out is null on failure.
[[nodiscard]] int Pdf_Stream_readAsString(PdfDoc *doc, PdfObj *stream, PdfString **out);
