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

/* ---- Discovery and hot-plug ------------------------------------------------------------ */

#ifdef __cplusplus
}
#endif

#endif
