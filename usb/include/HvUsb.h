/* libHvUsb: the receiver's USB device (discovery, hot-plug, bulk pipe I/O) and the
   command-packet file-transfer service. */
#ifndef HVUSB_H
#define HVUSB_H

#include <stdint.h>

#include "PenwickHelpers.h"
#include "penwick/window.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
/* The DLL's exports are listed in HvUsb.def: undecorated names, nothing else. */
#define HV_API
#else
#define HV_API __attribute__((visibility("default")))
#endif

/* ---- Bulk pipe I/O --------------------------------------------------------------------- */

/* Writes `length` bytes (at most 65,536) to the receiver's OUT pipe as whole packets; the
   padding after the bytes is unspecified. Returns 1 when the whole request was written, 0 on
   any failure (no device or OUT pipe, null data, too long, time-out, removal).
   With an odd `length`, UsbWrite also reads the byte at data[length], in both modes: in
   swapped mode it becomes the transfer's byte length - 1, otherwise the first padding byte.
   The caller therefore provides length + 1 readable bytes for an odd length.
   Only one UsbWrite or UsbRead may run at a time. */
HV_API uint32_t UsbWrite(const uint8_t* data, uint32_t length);

/* Reads the receiver's reply of `expected` bytes from the IN pipe. The buffer must hold
   expected + 2 bytes: when expected or expected + 1 is a whole number of packets, two more
   bytes are asked for and copied back. Returns the number of bytes received and copied to
   `data` (at most 65,535), 0 on failure or when the receiver sent nothing. Waits at most the
   read time-out (8 s); a device removal ends the wait within about 100 ms. */
HV_API uint32_t UsbRead(uint8_t* data, uint32_t expected);

/* Prepares the library's transfer buffers and registers the exit handler that closes the
   device. Call once, before StartPnpNotice. Returns 0 when the exit handler was registered. */
HV_API int InitDevice(void);

/* ---- Discovery and hot-plug ------------------------------------------------------------ */

/* Registers `window` for device-change notices of receiver interfaces and opens a receiver
   that is already present. Returns 1 if a present receiver was opened, else 0. */
HV_API int StartPnpNotice(PwHwnd window);

/* Opens the receiver at `path` (null: the path whose open failed last) and assigns its bulk
   pipes. Returns 1 when the device is open and set up, else 0. While a usable device is open
   another device is refused (0) and the open one stays. A path whose open failed is
   remembered for TryDeviceOpen. */
HV_API int DeviceArrival(const char* path);

/* Closes the open device when `path` is null or names it; a path naming another device leaves
   the open one alone. Ends a transfer in progress with a failure. Always returns 1. */
HV_API int DeviceRemoval(const char* path);

/* 1 if an earlier arrival could not open its path and that path opens now (it is closed again
   at once; call DeviceArrival(NULL) to open it for real), else 0. */
HV_API int TryDeviceOpen(void);

/* The open device's idVendor and idProduct: 1 and both written, else 0 and nothing written. */
HV_API int GetDeviceVidPid(int32_t* vendor, int32_t* product);

/* The open device's bcdDevice: 1 and written while it is known, else 0 and nothing written. */
HV_API int GetDeviceVersion(uint32_t* version);

/* ---- Command packets ------------------------------------------------------------------- */

/* Sends one command packet: total length (8 + length) and CRC-16 over the command and payload,
   both big-endian, then the command and the payload, padded to whole OUT packets. `payload`
   may be null when `length` is 0; `length` is at most 65,527. The packet goes to UsbWrite as
   assembled: in swapped mode the wire carries it pair-swapped. Returns 1 when it was written,
   0 on any failure. */
HV_API uint32_t UsbCommandSend(uint32_t command, const uint8_t* payload, uint32_t length);

/* ---- File-transfer tasks --------------------------------------------------------------- */

/* Each call starts a background task that copies one file and returns 1, or returns 0 and
   changes nothing: no device open, a null or empty name, a name of 65,536 bytes or more or a
   receiver-side name too long for a request packet, another task running, or (Posi calls) a
   device version below 0x0101. The first name is the destination, the second the source.
   At its end the task posts `window` (a null window gets nothing) a command message with code
   `command` and value 1 for success or 0 for failure; the window must outlive that message.
   A task must not overlap a session of the transfer library: both use the same pipes. */

/* Sends the local file `localPath` to the receiver as `remoteName`. */
HV_API int UsbTaskFileSend(const char* remoteName, const char* localPath, PwHwnd window,
                           uint32_t command);
/* As UsbTaskFileSend, starting at byte positionHigh << 32 | positionLow of the local file (the
   first data packet carries that offset; the receiver keeps what it has before it). */
HV_API int UsbTaskFileSendPosi(const char* remoteName, const char* localPath, PwHwnd window,
                               uint32_t command, uint32_t positionHigh, uint32_t positionLow);
/* Fetches `remoteName` from the receiver into `localPath`, which is replaced once the receiver
   has answered with the file's information. The file gets the receiver's time (as local time)
   and read-only attribute. A partly received file stays. */
HV_API int UsbTaskFileReceive(const char* localPath, const char* remoteName, PwHwnd window,
                              uint32_t command);
/* Resumes a partly received `localPath` from byte positionHigh << 32 | positionLow. */
HV_API int UsbTaskFileReceivePosi(const char* localPath, const char* remoteName, PwHwnd window,
                                  uint32_t command, uint32_t positionHigh, uint32_t positionLow);
/* Progress of the running or last task, 0 to 100 (a value above 100 reads as 0). */
HV_API uint16_t UsbTaskGetPercent(void);
/* Asks the running task to stop; it notices after the current block (or during a drain) and
   ends with failure. 1 when a task was running, else 0. */
HV_API int UsbTaskCancel(void);

#ifdef __cplusplus
}
#endif

#endif
