/* libNorraLink: the flash image codec's exports, the image stores and the transfer sessions
   with the receiver. Images cross as caller-owned buffers of the sizes named; the library
   copies them. Results: 1 (or a count) for success, 0 for failure unless stated. */
#ifndef NORRALINK_H
#define NORRALINK_H

#include <stdint.h>

#include "PenwickHelpers.h"
#include "penwick/window.h"

#ifdef __cplusplus
extern "C" {
#endif

#define NL_API __attribute__((visibility("default")))

/* ---- Image stores ---------------------------------------------------------------------- */

/* Copies the packed-image store (131072 bytes) out; returns 1. */
NL_API int32_t Dll_GetPackedFlashData(uint8_t* destination);
/* Copies 131072 bytes into the packed-image store. */
NL_API void Dll_PutPackedFlashData(const uint8_t* source);
/* Copies the EEPROM store (256 bytes) out; returns 1. */
NL_API int32_t Dll_GetEepromData(uint8_t* destination);
/* Copies 256 bytes into the EEPROM store. */
NL_API void Dll_PutEepromData(const uint8_t* source);
/* Copies the container's identity block (bytes 0 to 31) to destination; returns 1. */
NL_API int32_t Dll_GetModelIdFromPackedFlashData(const uint8_t* container, uint8_t* destination);
/* The container's system id (bytes 5 and 6, big-endian), unchecked. */
NL_API uint16_t Dll_GetSystemIdFromPackedFlashData(const uint8_t* container);
/* Copies the identity store (32 bytes); returns 1. */
NL_API int32_t Dll_GetModelId(uint8_t* destination);
/* The system-id store. */
NL_API uint16_t Dll_GetSystemId(void);

/* ---- Packed flash image ---------------------------------------------------------------- */

/* Expands a packed image (131072 bytes) into the flash region (393216 bytes). The container
   is modified (descriptors rewritten to host order, rejected ones cleared): pass a copy. The
   identity store takes the container's identity block. Returns 1, or 0 after notification 19
   (identity check failed) or 16 (damaged block; earlier blocks are already expanded). */
NL_API int32_t Dll_UnPackFlashData(uint8_t* container, uint8_t* region);
/* Builds a packed image (131072 bytes) from the flash region (393216 bytes), with the identity
   store as its identity block. Returns 1; 0 when the region cannot be packed into a container
   that unpacks again (the destination is then left as it was). */
NL_API int32_t Dll_PackFlashData(const uint8_t* region, uint8_t* container);

/* ---- Serial link and sessions ---------------------------------------------------------- */

/* ---- USB sessions ---------------------------------------------------------------------- */

#ifdef __cplusplus
}
#endif

#endif
