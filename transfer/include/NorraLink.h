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

#if defined(_WIN32)
/* The DLL's exports are listed in NorraLink.def: undecorated names, nothing else. */
#define NL_API
#else
#define NL_API __attribute__((visibility("default")))
#endif

/* ---- Notifications and session results ------------------------------------------------- */

/* Codes of the notifications the library sends to the owner window, with the value each
   carries. */
typedef enum NlNotification {
  NL_NOTIFY_BAD_PACKED_DATA = 16,     /* a packed block is damaged; value 0 */
  NL_NOTIFY_DOWNLOAD_ERROR = 17,      /* the download file cannot be written or read; 0 */
  NL_NOTIFY_BAD_DATA_TYPE = 18,       /* a serial upload met an unknown data type; 0 */
  NL_NOTIFY_BAD_MODEL_ID = 19,        /* the identity check failed; 0 */
  NL_NOTIFY_UP_FLASH_PERCENT = 4004,  /* upload of the packed image: percentage */
  NL_NOTIFY_UP_EEPROM_PERCENT = 4005, /* upload of the EEPROM image: percentage */
  NL_NOTIFY_DOWN_PERCENT = 4006       /* download: percentage */
} NlNotification;

/* Values sent with the caller's completion code when a session ends. */
typedef enum NlSessionResult {
  NL_SERIAL_UP_DONE = 1,
  NL_SERIAL_UP_FAILED = 2,
  NL_SERIAL_DOWN_DONE = 3,
  NL_SERIAL_DOWN_FAILED = 4,
  NL_USB_UP_DONE = 257,
  NL_USB_UP_FAILED = 258,
  NL_USB_DOWN_DONE = 259,
  NL_USB_DOWN_FAILED = 260
} NlSessionResult;

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
   identity store takes the container's identity block. Returns 1, or 0 after notification
   NL_NOTIFY_BAD_MODEL_ID or NL_NOTIFY_BAD_PACKED_DATA (earlier blocks are already expanded). */
NL_API int32_t Dll_UnPackFlashData(uint8_t* container, uint8_t* region);
/* Builds a packed image (131072 bytes) from the flash region (393216 bytes), with the identity
   store as its identity block. Returns 1; 0 when the region cannot be packed into a container
   that unpacks again (the destination is then left as it was). */
NL_API int32_t Dll_PackFlashData(const uint8_t* region, uint8_t* container);

/* ---- Download file --------------------------------------------------------------------- */

/* A download writes its download file into the folder it was given, under this name, and
   removes it when its session ends. The file is first written as a temporary beside it: the
   name, NL_DOWNLOAD_FILE_PART and a decimal number. A process ended during a download may leave
   either behind; nothing reads them again. */
#define NL_DOWNLOAD_FILE_NAME "~tmpDown.hvd"
#define NL_DOWNLOAD_FILE_PART ".part"

/* ---- Serial link and sessions ---------------------------------------------------------- */

/* Opens the serial port (a device path, or COMn: PENWICK_COMn or /dev/ttyS<n-1>) raw 8N1 at
   `baud` and starts receiving. 1 opened; 0 already open (nothing changes); -1 failed. */
NL_API int32_t Dll_OpenSerialPort(const char* portName, int32_t baud, int32_t portIndex);
/* Closes the port, ends a serial session that runs (its worker reports a failure) and sets
   both percentages to -1. Waits for no thread, so it may be called from a notification's
   handler. Always -1. */
NL_API int32_t Dll_CloseSerialPort(void);
/* Starts a serial download of the packed-image and EEPROM stores; the download file is
   written into `folder` (copied; empty for the current folder). The folder, owner window and
   completion code are recorded even when the start is refused. Notifications:
   NL_NOTIFY_DOWN_PERCENT, NL_NOTIFY_DOWNLOAD_ERROR when the download file cannot be written, then
   `completionCode` with NL_SERIAL_DOWN_DONE or NL_SERIAL_DOWN_FAILED. 1 started; 0 refused (port
   not open, or a session runs). */
NL_API int32_t Dll_SerialDown(const char* folder, PwHwnd owner, int32_t completionCode);
/* Starts a serial upload into the packed-image and EEPROM stores (cleared first unless a
   session runs). Notifications: NL_NOTIFY_UP_FLASH_PERCENT, NL_NOTIFY_UP_EEPROM_PERCENT,
   NL_NOTIFY_BAD_DATA_TYPE, then `completionCode` with NL_SERIAL_UP_DONE or NL_SERIAL_UP_FAILED. The
   session holds the busy flag until Dll_CloseSerialPort. 1 started; 0 refused. */
NL_API int32_t Dll_SerialUp(PwHwnd owner, int32_t completionCode);
/* Sends the reboot frame on the serial port: 0 sent, -1 not sent (port not open). Not while a
   serial session runs. */
NL_API int32_t Dll_AutoReboot(void);
/* The download percentage (which != 0) or the upload percentage (which == 0): 0 to 100, or
   -1 for no value. */
NL_API int32_t Dll_GetPercent(int32_t which);

/* ---- USB sessions ---------------------------------------------------------------------- */

/* Loads the USB library (libHvUsb.so.0) and makes the USB sessions usable. Call once at
   start-up. 1 usable; 0 not. */
NL_API int32_t Dll_InitUsbFunc(void);
/* Starts a USB download of the packed-image and EEPROM stores to the open receiver. On the
   caller's thread: the opening exchange (up to one USB read time-out), the receiver's identity
   into the stores, the download file written into `folder` (copied; empty for the current
   folder). The folder, owner window and completion code are recorded even when the start is
   refused. Notifications: NL_NOTIFY_DOWN_PERCENT, NL_NOTIFY_DOWNLOAD_ERROR when the download
   file cannot be written or read, then `completionCode` with NL_USB_DOWN_DONE or
   NL_USB_DOWN_FAILED. 1 started; 0
   refused (USB not ready, a session runs on either link) or the opening failed. */
NL_API int32_t Dll_UsbDown(const char* folder, PwHwnd owner, int32_t completionCode);
/* Starts a USB upload into the packed-image and EEPROM stores (cleared first unless a session
   runs), with the opening exchange on the caller's thread. Notifications:
   NL_NOTIFY_UP_FLASH_PERCENT and NL_NOTIFY_UP_EEPROM_PERCENT, then `completionCode` with
   NL_USB_UP_DONE or NL_USB_UP_FAILED. 1 started; 0 refused or the opening failed. */
NL_API int32_t Dll_UsbUp(PwHwnd owner, int32_t completionCode);
/* Asks a running USB session to stop: its worker ends at its next check with a failure
   result. Waits for nothing. */
NL_API void Dll_CancelUsbFunc(void);

#ifdef __cplusplus
}
#endif

#endif
