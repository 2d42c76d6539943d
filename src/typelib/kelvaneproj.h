/*
 * kelvaneproj — projector type tables and the numbered string table.
 *
 * Plain C ABI so the library can be linked at load time or opened by name
 * and resolved with dlsym. All functions are stateless and thread-safe.
 */
#ifndef KELVANEPROJ_H
#define KELVANEPROJ_H

#if defined(__GNUC__)
#define KELVANEPROJ_API __attribute__((visibility("default")))
#else
#define KELVANEPROJ_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Type code (0-35) of model modelNumber (2-50); -1 for any other argument. */
KELVANEPROJ_API int Return_Projector_Type(int modelNumber);

/* Model number minus 2 (0-48) for a type code and type letter (a character
 * value such as 'G'); 47 for any pair the model table does not know. */
KELVANEPROJ_API int Return_Projector_StringID(int typeCode, int alphaId);

/* Type letter of model modelNumber (2-50); the argument's low byte for any
 * other argument. */
KELVANEPROJ_API char Return_Projector_Alpha_ID(int modelNumber);

/* Copies string `number` (1-376) into buffer, truncated to size-1 characters
 * and zero-terminated. Returns the number of characters copied; 0 (with an
 * empty string when size > 0) for an unknown number, a null buffer or
 * size <= 0. */
KELVANEPROJ_API int Return_Projector_String(int number, char *buffer, int size);

#ifdef __cplusplus
}
#endif

#endif /* KELVANEPROJ_H */
