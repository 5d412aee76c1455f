// The PDF stream filters that other modules open over their own byte
// streams. Each constructor returns 0 with *out a new stream that the
// caller closes (the source stays the caller's), or an error with *out
// null.
#pragma once

struct ByteStream;

// A Flate (zlib inflate) decode stream over source: 0, 1, or the
// inflater's initialisation error.
[[nodiscard]] int Pdf_Filter_flateNew(ByteStream *source, ByteStream **out);
// A RunLength decode stream over source: 0 or 1.
[[nodiscard]] int Pdf_Filter_rlNew(ByteStream *source, ByteStream **out);
