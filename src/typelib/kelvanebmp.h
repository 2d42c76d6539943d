/*
 * kelvanebmp — numbered images for windows and toolbars.
 *
 * Plain C ABI; the library is opened by name and is optional: every window
 * works without it, just without pictures.
 */
#ifndef KELVANEBMP_H
#define KELVANEBMP_H

#if defined(__GNUC__)
#define KELVANEBMP_API __attribute__((visibility("default")))
#else
#define KELVANEBMP_API
#endif

/* Image numbers and toolbar strip geometry. */
#define KELVANE_IMAGE_TOOLBAR_MAIN 200     /* main and communication modes */
#define KELVANE_IMAGE_TOOLBAR_EXPLORER 201 /* explorer mode */
#define KELVANE_IMAGE_WINDOW_ICON 464      /* 32 x 32 */
/* Communication window: the tree's seven images (36 x 17, in the order of its
 * image list) and the block lists' twelve icons (16 x 16, in icon-kind order). */
#define KELVANE_IMAGE_TREE_FIRST 7000
#define KELVANE_IMAGE_TREE_COUNT 7
#define KELVANE_IMAGE_BLOCK_FIRST 7020
#define KELVANE_IMAGE_BLOCK_COUNT 12
#define KELVANE_TOOLBAR_SLOTS 23
#define KELVANE_TOOLBAR_SLOT_WIDTH 18 /* slot i starts at x = 18 * i */
#define KELVANE_TOOLBAR_SLOT_HEIGHT 17

#ifdef __cplusplus
extern "C" {
#endif

/* Looks up image `number`. On success returns 1 and stores its size and a
 * pointer to width*height pixels, 0xAARRGGBB, not premultiplied, row-major.
 * The pixels belong to the library and stay valid until it is unloaded.
 * Any of the out-pointers may be null. Returns 0 for an unknown number. */
KELVANEBMP_API int Kelvane_Image(int number, int *width, int *height,
                                 const unsigned int **pixels);

#ifdef __cplusplus
}
#endif

#endif /* KELVANEBMP_H */
