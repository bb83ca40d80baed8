// The help's system parts on Linux: COMn is a tty device, chosen by PENWICK_COMn where the
// default does not reach it; the window is a Qt one.
#include "system_help.h"

namespace app {

std::string PortNamingHelp() {
  return "ports are named COMn: COM0 (or a number below 0) for a USB download, COM256 for a USB "
         "upload, any other COMn for a serial download on /dev/ttyS<n-1>, or on the device that "
         "PENWICK_COMn=/dev/... names (a USB-serial adapter, for one)";
}

std::string SerialPortAdvice() {
  return "check the port: COMn is /dev/ttyS<n-1> unless PENWICK_COMn names its device; "
         "you may need to be in the dialout group";
}

std::string UsbFindingAdvice() {
  return "a receiver is found through PENWICK_USB_IDS or PENWICK_USBIP";
}

std::string EnvironmentHelp() {
  return "  PENWICK_COMn=PATH\n"
         "                     the device of serial port COMn (default /dev/ttyS<n-1>), such\n"
         "                     as PENWICK_COM1=/dev/ttyUSB0 for a USB-serial adapter\n"
         "  PENWICK_USB_IDS=vvvv:pppp[,...]\n"
         "                     local USB devices with these (hexadecimal) ids are receivers;\n"
         "                     without it no local device is (--list shows the ids)\n"
         "  PENWICK_USBIP=host[:port][,...]\n"
         "                     every device of these USB/IP servers is a receiver (port 3240\n"
         "                     by default)\n"
         "  PENWICK_UI=console\n"
         "                     the console front end, as --console\n"
         "  QT_QPA_PLATFORM\n"
         "                     the window's Qt platform (a ; list is tried in order);\n"
         "                     offscreen runs the window unseen\n";
}

}  // namespace app
