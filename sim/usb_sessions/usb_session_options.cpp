#include "usb_session_options.h"

namespace sim {

std::string UsbSessionUsage() {
  return "Receiver sessions (with --mode; without it the pipes serve --files or follow\n"
         "--echo/--script/--rule):\n"
         "  The receiver waits for the PC's opening (CMD_REQUEST: download, CMD_UP_READY:\n"
         "  upload), answers it with CMD_DOWN_READY and its identity, and plays the transfer.\n"
         "  A reboot during a transfer (SIGUSR1, --reboot-after-ms, the reboot frame,\n"
         "  --reboot-after-frames) loses it: the receiver comes back and waits for the next\n"
         "  opening. The last line is \"SIM OK ...\" or \"SIM FAIL <reason>\" once a transfer\n"
         "  ends; the exit status is 0 for OK, 1 for FAIL, 2 for a bad command line.\n"
         "  --timeout SECONDS       wait this long for an opening (default 30)\n"
         "  --linger-ms N           stay on the bus N ms after the transfer (default 0)\n"
         "  --refuse-opening N      answer the first N openings with CMD_SIZE (the PC refuses\n"
         "                          that answer); the receiver waits for the next opening\n"
         "  --silent-after N        send nothing after N frames (0: not even the answer to the\n"
         "                          opening); the receiver stays on the bus, silent, until\n"
         "                          --timeout passes or it is stopped; OK if all was well\n"
         "  --hangup-after N        unplug the device for good after sending N frames; OK if all\n"
         "                          was well until then\n"
         "  --reboot-after-frames N  reboot the device after sending N frames (once)\n" +
         ReceiverUsage(0xFFFF) +
         "  Block sizes above 65527 are more than the PC can serve in one transfer.\n";
}

OptionParse ParseUsbSessionOption(OptionCursor& at, UsbSessionOptions* o) {
  const std::string arg = at.Name();
  OptionParse parsed = ParseReceiverOption(at, 0xFFFF, o);
  if (parsed == OptionParse::NotMine) {
    unsigned long n = 0;
    parsed = OptionParse::Taken;
    if (arg == "--timeout") {
      if (!at.Number(86400, &n)) return OptionParse::Bad;
      o->timeoutSeconds = static_cast<int>(n);
    } else if (arg == "--linger-ms") {
      if (!at.Number(3600000, &n)) return OptionParse::Bad;
      o->lingerMs = static_cast<int>(n);
    } else if (arg == "--refuse-opening") {
      if (!at.Number(1000, &n)) return OptionParse::Bad;
      o->faults.refuseOpenings = static_cast<int>(n);
    } else if (arg == "--silent-after") {
      if (!at.Number(10000000, &n)) return OptionParse::Bad;
      o->line.silentAfter = static_cast<int>(n);
    } else if (arg == "--hangup-after" || arg == "--reboot-after-frames") {
      if (!at.Number(10000000, &n)) return OptionParse::Bad;
      (arg == "--hangup-after" ? o->line.hangupAfter : o->line.rebootAfter) = static_cast<int>(n);
    } else {
      return OptionParse::NotMine;
    }
  }
  if (parsed == OptionParse::Taken) {
    o->optionGiven = true;
    if (arg == "--mode") o->modeGiven = true;
  }
  return parsed;
}

bool FinishUsbSessionOptions(UsbSessionOptions* o, std::string* error) {
  if (!o->optionGiven) return true;
  if (!o->modeGiven) return *error = "the receiver's session options need --mode", false;
  return FinishReceiverOptions(o, error);
}

}  // namespace sim
