// Moving an image to the front of its store's list, so that the next
// free decoding worker takes it before the images queued earlier.
#pragma once

struct ImageHandle;

// Under the store lock and the image's lock: when the handle's image is
// queued (state 1 or 2) and linked in the store's list, it is moved to the
// head of the list. Nothing for a null handle or a handle without an image
// or store.
void ImageStore_touch(ImageHandle *handle);
