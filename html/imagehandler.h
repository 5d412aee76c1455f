// The image document handler: a GIF, JPEG, PNG, BMP or WBMP file opened on
// its own is shown as a document whose content is that one image. The
// handler claims such files by MIME type, or by content through the image
// store's codecs, and hands the open to the image-document builder.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_HandlerDesc;
struct Edr_Node;
struct VfsHandle;

enum : int32_t {
    ImageDA_sniffBytes = 12,
    ImageDA_recogniseFlags = 0x1C,
};

// Fills the handler's descriptor; its private word is 1 when the setting
// "ImageDA_WaitAnim" is non-zero. 0, or 1 when memory runs out.
int ImageDA_register(EngineContext *context, Edr_HandlerDesc *desc);
// Registers the image document handler with the context's document-type
// registry when it has one: 1 when registered, else 0.
int ImageDoc_register(EngineContext *context);
// Fills the image document handler's descriptor. 0.
int ImageDoc_describe(EngineContext *context, Edr_HandlerDesc *desc);
// 100 for the image MIME types (and "video/x-msvideo"), else 0. 0.
int ImageDA_matchMime(EngineContext *context, Edr_HandlerDesc *handler, const char16_t *mime,
                      int32_t *score);
// Rates the first 12 bytes with every registered codec (empty slots
// skipped); the best codec's type becomes the document type. 0 or the
// error of the stream or a recogniser.
int ImageDA_sniff(EngineContext *context, Edr_HandlerDesc *handler, VfsHandle *stream,
                  int32_t *score, uint32_t *typeId);
int ImageDA_open(EngineContext *context, Edr_HandlerDesc *desc, void *argument, VfsHandle *stream,
                 Edr_Doc *doc, Edr_Node *target);
// Frees the private word (null allowed).
void ImageDA_close(EngineContext *context, Edr_HandlerDesc *desc);
// The document type of a codec type id (0 for none).
uint32_t ImageDA_docType(int32_t codecTypeId);
