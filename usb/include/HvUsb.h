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

#define HV_API __attribute__((visibility("default")))

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

#ifdef __cplusplus
}
#endif

#endif
