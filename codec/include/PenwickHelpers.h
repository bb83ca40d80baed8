/* Big-endian field access, CRC-16/ARC and Modified Julian Date conversion.
   Exported under these names by both libNorraLink and libHvUsb (one implementation).
   Pointers need no alignment. */
#ifndef PENWICK_HELPERS_H
#define PENWICK_HELPERS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
/* The DLL's exports are listed in each library's .def file: undecorated names, nothing else. */
#define PW_EXPORT
#else
#define PW_EXPORT __attribute__((visibility("default")))
#endif

PW_EXPORT uint16_t Get16bit(const uint8_t* p);
PW_EXPORT void Put16bit(uint8_t* p, uint16_t value);
/* Low 24 bits from three bytes; the top byte of the result is zero. */
PW_EXPORT uint32_t Get24bit(const uint8_t* p);
/* Writes bits 23-0; bits 31-24 are dropped. */
PW_EXPORT void Put24bit(uint8_t* p, uint32_t value);
PW_EXPORT uint32_t Get32bit(const uint8_t* p);
PW_EXPORT void Put32bit(uint8_t* p, uint32_t value);
/* CRC-16/ARC (reflected 0x8005, initial 0, no final XOR); 0 for an empty input. */
PW_EXPORT uint16_t GetCrc16(const uint8_t* data, uint32_t length);
/* MJD to calendar date; weekday 0 is Monday. Returns 1, or 0 for MJD < 15020 (outputs
   untouched). */
PW_EXPORT uint8_t ExtractMjd(uint16_t mjd, uint16_t* year, uint8_t* month, uint8_t* day,
                             uint8_t* weekday);
/* Calendar date to MJD; 0 when the date is outside 1900-03-01 .. 2038-04-22 or malformed. */
PW_EXPORT uint16_t MakeMjd(uint16_t year, uint8_t month, uint8_t day);

#ifdef __cplusplus
}
#endif

#endif
