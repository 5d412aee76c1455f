// Image views: the decoded pixels of an image, one view per way it is
// shown (its plain picture, or a transformed or converted copy).
//
// A view is an image cache entry (graphics/imagecache.h) followed by its
// picture and mask buffers, their geometry, and what it was made with. An
// image keeps its views in a list and a pin count: while the count is
// positive every view of the image carries that many pins, so drawing can
// rely on the pixels. A released view goes to the cache (only a plain
// picture of a decoded image that nobody pins any more) or stays with its
// image until the image goes.
#pragma once

#include <cstdint>

#include "graphics/imagecache.h"
#include "graphics/colourtransform.h"

struct EngineContext;
struct ImageObject;
struct PixelBuf;

// The geometry a view is made with.
struct ImageViewGeometry {
    int32_t width, height, scale;
    uint32_t pictureFormat, maskFormat;
};

// The kind of a view: {transformed, converted}; the plain view is {0, 0}.
struct ImageViewKey {
    int32_t transformed;
    int32_t converted;
};

enum : uint32_t {
    ImageView_keepWithImage = 0x1, // outside the cache, lives until its image dies
};

struct ImageView {
    ImageCacheEntry entry;
    ImageObject *image;
    PixelBuf *picture;
    PixelBuf *mask;
    int32_t width, height, scale;
    uint32_t pictureFormat, maskFormat;
    int32_t level;              // the subsampling level of its pixels
    void *target;               // owned conversion target; null none
    ColourTransform *transform; // owned; null: the identity
    uint32_t version;           // the image version its pixels came from
    uint32_t viewFlags;
    ImageView *nextView, *prevView; // the image's list; a view in no list points to itself
};

// ------------------------------------------------------------ buffers

// Stores both buffers (either may be null); the geometry comes from the
// picture, or from the mask without one (all 0 without either).
void ImageView_setBuffers(ImageView *view, PixelBuf *picture, PixelBuf *mask);
// Makes view a fresh view of image with the evict callback: no buffers,
// no transform, no target, in no list.
void ImageView_init(ImageView *view, ImageObject *image, ImageCacheEvictFn evict);
// Bytes of the view's buffers: per buffer height x (width x bytes per pixel
// + 3 with the low two bits cleared). 0 for null.
uint64_t ImageView_byteSize(const ImageView *view);
// 1 when every buffer present has the view's width, height and scale and
// its own format; else 0.
int ImageView_geometryMatches(const ImageView *view);
// Takes the geometry; buffers that do not match it are freed; then the
// picture and the mask are made or dropped as asked. 0; 1 (or the buffer
// error) with every buffer freed.
[[nodiscard]] int ImageView_ensureBuffers(ImageView *view, int wantPicture, int wantMask,
                                          const ImageViewGeometry *geometry);
// Frees picture, mask, target and transform (null view allowed in the
// IfAny form).
void ImageView_freeBuffers(ImageView *view);
void ImageView_freeIfAny(ImageView *view);
// Stores a copy of transform; null or the identity frees the stored one.
// 0 or 1.
[[nodiscard]] int ImageView_setColourTransform(ImageView *view, const ColourTransform *transform);

// Prepares the target view of a decoding pass: asks the image hook for the
// background (op 34), gives the view the image's geometry and buffers (the
// mask with withMask), makes the staging buffers of a banded codec, and
// fills the picture white (or 0 when the background answer is 0) and the
// mask with 0. 0 or the error, with what was made freed.
[[nodiscard]] int Image_prepareCanvas(ImageObject *image, ImageView *view, int withMask);

// --------------------------------------------------------- view lists

// A new view of image (evict callback ImageView_evict), in no list.
// 0 or 1; *view null on failure.
[[nodiscard]] int ImageView_create(ImageObject *image, ImageView **view);
// Pushes view at the head of the image's list (unless it is in a list)
// and pins it once per pin of the image. Cache lock and image lock held.
void ImageView_attach(ImageObject *image, ImageView *view);
// The first view of the image's list of that kind (null when none); the
// FindOrCreate form makes an unattached plain view when none matches.
ImageView *ImageView_find(ImageObject *image, const ImageViewKey *key);
[[nodiscard]] int ImageView_findOrCreate(ImageObject *image, const ImageViewKey *key,
                                         ImageView **view);
// Under the store lock, and only when image is still listed with that
// generation: settles each of the views, then unpins every view of the
// image once.
void ImageView_release(EngineContext *app, ImageObject *image, uint32_t generation,
                       ImageView **views, int32_t count);
// A user lets go of view (takes the cache and image locks): a plain view
// of a decoded image without ImageOpt_releaseDecoder is offered to the
// cache and freed when the cache refuses it; any other view stays with its
// image (a keep-with-image view also leaves the cache accounting).
void ImageView_settle(ImageView *view);
// Pin or unpin every view of image once (cache lock held; takes the image
// lock).
void ImageView_pinAll(ImageObject *image);
void ImageView_unpinAll(ImageObject *image);
// The cache's evict callback: locks the view's image and frees the view.
void ImageView_evict(EngineContext *app, ImageCacheEntry *entry);
// Takes the view out of the cache and frees it (its image dies; cache and
// image lock held).
void ImageView_dropFromCache(EngineContext *app, ImageView *view);
// Frees the pixels, leaves the image's list and frees the record.
void ImageView_free(ImageView *view);
