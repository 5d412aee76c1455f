// Image files opened as documents: one image node for the stream's URL in a
// section group that is the root's last child; the stream is closed.
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/image.h"
#include "html/docweb.h"
#include "platform/vfs/vfs.h"

int Html_openImageDocument(EngineContext *, void *, VfsHandle *stream, Edr_Doc *doc, Edr_Node *, uint32_t)
{
    Url *url = nullptr;
    int r = Vfs_getUrl(stream, &url);
    Edr_Node *node = nullptr;
    // The image stands in a section group of its own, so that it lays out
    // as the page's content.
    Edr_Node *section = nullptr;
    if (r == Res_ok && !url)
        r = Res_fileCannotOpen;
    if (r == Res_ok)
        r = Edr_Node_createGroup(doc, Edr_Doc_root(doc), Edr_Insert_lastChild, 0, &section);
    // The picture is opened at once so that its size is known when the
    // page is first laid out.
    // A picture that cannot be opened (no codec for it) ends the open with
    // its error rather than leaving an image that never arrives.
    ImageHandle *image = nullptr;
    if (r == Res_ok && (r = Image_openUrl(Edr_Doc_getApp(doc), url, nullptr, doc, nullptr, &image)) == Res_ok &&
        !image)
        r = Res_fileCannotOpen;
    if (r == Res_ok)
        r = Edr_Node_createImageFrom(doc, section, Edr_Insert_lastChild, &node, image);
    // The URL is the stream's own (lent): closing the stream frees it.
    (void)Vfs_close(stream);
    return r;
}
