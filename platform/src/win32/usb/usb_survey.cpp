// The device list on Windows: the USB/IP servers' devices. The receivers attached to this
// machine are reached through the vendor's bulk driver, which offers no survey of the devices
// it does not serve; the list says so rather than show nothing.
#include <cstdlib>

#include "backends.hpp"
#include "penwick/usb_survey.hpp"

namespace pw::usb {

UsbSurvey SurveyUsb() {
  UsbSurvey survey;
  survey.localProblem =
      "not listed on Windows: a receiver on this machine is found through its USB driver when "
      "it arrives";
  const char* servers = std::getenv("PENWICK_USBIP");
  survey.servers = SurveyUsbipServers(ParseUsbipServers(servers ? servers : ""));
  survey.settingsNote = Driver::EnvironmentNote();
  return survey;
}

}  // namespace pw::usb
