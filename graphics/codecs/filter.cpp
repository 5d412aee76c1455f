// Choosing the decoder of a compressed source.
#include "graphics/codecs/filter.h"

#include "core/result.h"
#include "core/stream/bytestream.h"
#include "graphics/codecs/decodestream.h"
#include "graphics/codecs/lzw.h"

int Filter_probe(int *error, const FilterDescriptor *descriptor, int32_t code)
{
    if (*error != Res_ok)
        return 0;
    int32_t answer = -1;
    int r = descriptor->query(descriptor->user, code, nullptr, &answer);
    if (r != Res_ok) {
        *error = r;
        return 0;
    }
    return answer >= 0 ? 1 : 0;
}

int Filter_openDecoder(ByteStream *source, ByteStream **outStream,
                       const FilterDescriptor *descriptor)
{
    *outStream = nullptr;
    if (!descriptor || !descriptor->query)
        return Res_filterNoDecoder;
    int error = Res_ok;
    if (Filter_probe(&error, descriptor, Filter_codeNone)) {
        *outStream = source;
        return Res_ok;
    }
    if (Filter_probe(&error, descriptor, Filter_codeLzw))
        return Lzw_create(source, outStream, 1);
    if (Filter_probe(&error, descriptor, Filter_codeFlate))
        return Pdf_Filter_flateNew(source, outStream);
    if (Filter_probe(&error, descriptor, Filter_codeRunLength))
        return Pdf_Filter_rlNew(source, outStream);
    return Res_filterNoDecoder;
}
