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
#define KELVANE_IMAGE_REMOTE_BACKGROUND 463 /* the handset; keys sit at fixed places on it */
#define KELVANE_IMAGE_REMOTE_TOOLBAR 483    /* two slots: another remote control, About */
/* A handset key by its control number (1009-1071), normal and pressed. */
#define KELVANE_IMAGE_REMOTE_KEY(control) (7000 + (control))
#define KELVANE_IMAGE_REMOTE_KEY_PRESSED(control) (8000 + (control))
/* The explorer's four icons (32 x 32), in their order; the highlighted form of
 * icon i is KELVANE_IMAGE_EXPLORER_LIT + i (icons 1 and 3 only). */
#define KELVANE_IMAGE_EXPLORER_PROJECTOR 210
#define KELVANE_IMAGE_EXPLORER_RAMFILES 211
#define KELVANE_IMAGE_EXPLORER_GROUPS 212
#define KELVANE_IMAGE_EXPLORER_TEXTFILES 213
#define KELVANE_IMAGE_EXPLORER_LIT 220
#define KELVANE_IMAGE_FRAME_BACKGROUND 600 /* stretched over the frame's MDI area */
/* Communication window: the tree's seven images (36 x 17, in the order of its
 * image list) and the block lists' twelve icons (16 x 16, in icon-kind order). */
#define KELVANE_IMAGE_TREE_FIRST 7000
#define KELVANE_IMAGE_TREE_COUNT 7
#define KELVANE_IMAGE_BLOCK_FIRST 7020
#define KELVANE_IMAGE_BLOCK_COUNT 12
#define KELVANE_TOOLBAR_SLOTS 23
#define KELVANE_TOOLBAR_SLOT_WIDTH 18 /* slot i starts at x = 18 * i */
#define KELVANE_TOOLBAR_SLOT_HEIGHT 17

/* Direct access. Adjustment buttons (32 x 24): page 1-4, slot 1-6, button 0-3
 * (minus step, minus one, plus one, plus step), pressed 0/1. */
#define KELVANE_IMAGE_DIRECT_BUTTON(page, slot, button, pressed) \
    (3000 + (page) * 100 + (slot) * 10 + (button) * 2 + (pressed))
/* The General list (48 x 48): entry 0-3 (General, Projector Selection, Force Block,
 * IRIS), highlighted 0/1. */
#define KELVANE_IMAGE_DIRECT_OPTION(entry, highlighted) (3500 + (entry) * 2 + (highlighted))
/* Force buttons (32 x 32): 0 power, 1 pause, 2 text. */
#define KELVANE_IMAGE_DIRECT_FORCE(which) (3520 + (which))
/* The source tree's icon (16 x 16). */
#define KELVANE_IMAGE_DIRECT_SOURCE 3530

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
