// The help's system parts on Windows: COMn is the system's own port of that name.
#include "system_help.h"

namespace app {

std::string PortNamingHelp() {
  return "ports are named COMn: COM0 (or a number below 0) for a USB download, COM256 for a USB "
         "upload, any other COMn for a serial download on the system's port COMn (as the "
         "Device Manager lists it)";
}

std::string SerialPortAdvice() {
  return "check the port: COMn is the system's port of that name (PenwickUpload --list shows "
         "them); another program may have it open";
}

std::string UsbFindingAdvice() {
  return "a receiver on this machine is found through its USB driver, one on a USB/IP server "
         "through PENWICK_USBIP";
}

std::string EnvironmentHelp() {
  return "  PENWICK_USBIP=host[:port][,...]\n"
         "                     every device of these USB/IP servers is a receiver (port 3240\n"
         "                     by default)\n"
         "  PENWICK_COMn=PATH\n"
         "                     opens PATH (such as \\\\.\\COM12) for COMn; not needed, since\n"
         "                     COMn opens the system's port of that name\n"
         "  PENWICK_UI=console\n"
         "                     the console front end instead of the dialog, as --console\n";
}

}  // namespace app
