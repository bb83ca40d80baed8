// `penwick-sim usb`: the emulated receiver as a USB/IP server. Parses the options, starts the
// server, prints where it listens and waits for signals (SIGUSR1 reboots the device; SIGINT,
// SIGTERM and SIGHUP stop the server).
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "bulk_script.h"
#include "byte_order.h"
#include "emulated_device.h"
#include "file_store.h"
#include "number_option.h"
#include "sim_sides.h"
#include "usb_receiver.h"
#include "usb_session_options.h"
#include "usbip_server.h"

namespace sim {
namespace {

using usbip::ConfigShapeNames;

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "Usage: penwick-sim usb [options]\n"
               "Exports the emulated receiver as USB/IP bus id 1-1. First stdout line:\n"
               "  USBIP <address>:<port> busid <busid>\n"
               "Signals: SIGUSR1 reboots the device; SIGINT, SIGTERM, SIGHUP stop the server.\n"
               "\n"
               "Server:\n"
               "  --listen ADDR          IPv4 address to listen on (default 127.0.0.1)\n"
               "  --port N               TCP port (default 3240; 0 picks a free port)\n"
               "  --busid ID             bus id of the device (default 1-1)\n"
               "Device:\n"
               "  --vid HEX              idVendor (default 1209)\n"
               "  --pid HEX              idProduct (default 0001)\n"
               "  --bcd-device HEX       bcdDevice, the device version (default 0100). Outside\n"
               "                         0100..01FF the receiver's frames travel pair-swapped\n"
               "  --max-packet 64|512    wMaxPacketSize of the bulk endpoints (default 512)\n"
               "  --config SHAPE         configuration descriptor set (default standard):\n"
               "                         %s\n"
               "  --no-strings           no string descriptors (string indexes 0)\n"
               "  --manufacturer TEXT, --product TEXT, --serial TEXT   string descriptors\n"
               "Reboot (off the device list, connection dropped, back after the delay):\n"
               "  --reboot-delay-ms N    time off the bus (default 1000)\n"
               "  --appear-after-ms N    start off the bus and arrive N ms after the start (a PC\n"
               "                         armed before the receiver comes sees a fresh arrival;\n"
               "                         so does a reboot by SIGUSR1)\n"
               "  --reboot-after-ms N    reboot once, N ms after the first import\n"
               "  --no-reboot-frame      ignore the reboot frame on the OUT pipe\n"
               "Bulk pipes (0x01 OUT, 0x82 IN; reads wait until the device has data):\n"
               "  --echo                 every write comes back on the IN pipe (with --script or\n"
               "                         --rule: every write their rules do not match)\n"
               "  --script FILE          answer writes as the script says, one rule a line:\n"
               "                           [once] write <bytes>|* => <action>[, <action>...]\n"
               "                         bytes: hex pairs and \"text\"; a write matches when it\n"
               "                         starts with them. actions: read <bytes>, zero (a\n"
               "                         zero-length packet), echo, silent. First match wins;\n"
               "                         unmatched writes get no answer\n"
               "  --rule RULE            one more rule, after those of --script (repeatable)\n"
               "  Without --echo, --script or --rule no write is answered.\n"
               "Diagnostics:\n"
               "  --trace FILE           one line per event (import, import-refused, release,\n"
               "                         control, in, in-done, out, unlink, stall, reboot,\n"
               "                         back) after the milliseconds since start; - for stderr\n"
               "  --help                 this text\n",
               ConfigShapeNames().c_str());
  std::fputs(files::kFileStoreUsage, to);
  std::fputs(UsbSessionUsage().c_str(), to);
}

struct UsbOptions {
  std::string listen = "127.0.0.1";
  uint16_t port = 3240;
  usbip::DeviceSettings device;
  bool echo = false;
  std::vector<usbip::ScriptRule> rules;
  std::string trace;
  files::FileStoreOptions files;
  UsbSessionOptions sessions;
};

// Returns 0 to run, 1 after --help, 2 on a bad option (message printed).
int ParseOptions(int argc, char** argv, UsbOptions* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    const auto fail = [&](const std::string& why) {
      std::fprintf(stderr, "penwick-sim usb: %s: %s\n", std::string(name).c_str(), why.c_str());
      return 2;
    };
    std::string bad;
    OptionCursor at{argc, argv, &i, &bad};
    if (const OptionParse parsed = ParseUsbSessionOption(at, &o->sessions);
        parsed != OptionParse::NotMine) {
      if (parsed == OptionParse::Bad) return fail(bad);
      continue;
    }
    if (name == "--help") {
      PrintUsage(stdout);
      return 1;
    }
    if (name == "--echo") {
      o->echo = true;
      continue;
    }
    if (name == "--no-strings") {
      o->device.descriptors.strings = false;
      continue;
    }
    if (name == "--no-reboot-frame") {
      o->device.rebootOnFrame = false;
      continue;
    }
    if (i + 1 >= argc) return fail(name.starts_with("--") ? "needs a value" : "unknown option");
    const char* value = argv[++i];
    unsigned long n = 0;
    auto& d = o->device.descriptors;
    if (name == "--listen") {
      o->listen = value;
    } else if (name == "--port") {
      if (!ParseNumber(value, 10, 65535, &n)) return fail("not a port number");
      o->port = static_cast<uint16_t>(n);
    } else if (name == "--busid") {
      if (std::string_view(value).empty() || std::string_view(value).size() > 31)
        return fail("1 to 31 characters");
      o->device.busid = value;
    } else if (name == "--vid" || name == "--pid" || name == "--bcd-device") {
      if (!ParseNumber(value, 16, 0xFFFF, &n)) return fail("not a 16-bit hex number");
      auto& field = name == "--vid" ? d.idVendor : name == "--pid" ? d.idProduct : d.bcdDevice;
      field = static_cast<uint16_t>(n);
    } else if (name == "--max-packet") {
      if (!ParseNumber(value, 10, 512, &n) || (n != 64 && n != 512)) return fail("64 or 512");
      d.maxPacket = static_cast<uint16_t>(n);
    } else if (name == "--config") {
      const auto shape = usbip::ParseConfigShape(value);
      if (!shape) return fail("one of " + ConfigShapeNames());
      d.shape = *shape;
    } else if (name == "--manufacturer") {
      d.manufacturer = value;
    } else if (name == "--product") {
      d.product = value;
    } else if (name == "--serial") {
      d.serial = value;
    } else if (name == "--reboot-delay-ms" || name == "--reboot-after-ms" ||
               name == "--appear-after-ms") {
      if (!ParseNumber(value, 10, 86400000, &n)) return fail("milliseconds");
      const std::chrono::milliseconds ms(n);
      if (name == "--reboot-delay-ms")
        o->device.rebootDelay = ms;
      else if (name == "--reboot-after-ms")
        o->device.rebootAfter = ms;
      else
        o->device.appearAfter = ms;
    } else if (name == "--script") {
      std::ifstream file(value, std::ios::binary);
      std::stringstream text;
      text << file.rdbuf();
      std::string error;
      if (!file || !usbip::ParseScript(text.str(), &o->rules, &error))
        return fail(file ? error : std::string("cannot read ") + value);
    } else if (name == "--trace") {
      o->trace = value;
    } else if (name == "--rule") {
      std::string error;
      auto rule = usbip::ParseScriptLine(value, &error);
      if (!rule) return fail(error.empty() ? "empty rule" : error);
      o->rules.push_back(std::move(*rule));
    } else if (files::IsFileStoreOption(name)) {
      std::string error;
      if (!files::ParseFileStoreOption(name, value, &o->files, &error)) return fail(error);
    } else {
      return fail("unknown option");
    }
  }
  std::string error;
  if (!FinishUsbSessionOptions(&o->sessions, &error)) {
    std::fprintf(stderr, "penwick-sim usb: %s\n", error.c_str());
    return 2;
  }
  return 0;
}

}  // namespace

int RunUsbSide(int argc, char** argv) {
  UsbOptions options;
  if (const int parsed = ParseOptions(argc, argv, &options); parsed != 0) {
    if (parsed == 2) PrintUsage(stderr);
    return parsed == 1 ? 0 : 2;
  }
  std::string error;
  std::unique_ptr<UsbReceiver> receiver;
  if (options.sessions.modeGiven) {
    Images images;
    if (options.echo || !options.rules.empty() || !options.files.folder.empty())
      error = "--mode excludes --echo, --script, --rule and --files";
    if (!error.empty() || !LoadReceiverImages(options.sessions, &images, &error)) {
      std::fprintf(stderr, "penwick-sim usb: %s\n", error.c_str());
      return 2;
    }
    receiver = std::make_unique<UsbReceiver>(
        options.sessions, std::move(images),
        usbip::HardwareSwapsPairs(options.device.descriptors.bcdDevice));
  }
  if (options.echo) options.rules.push_back(*usbip::ParseScriptLine("write * => echo", &error));

  std::FILE* trace = nullptr;
  if (options.trace == "-") {
    trace = stderr;
  } else if (!options.trace.empty() &&
             (trace = std::fopen(options.trace.c_str(), "w")) == nullptr) {
    std::fprintf(stderr, "penwick-sim usb: cannot write %s\n", options.trace.c_str());
    return 2;
  }
  if (trace != nullptr) {
    const auto start = std::chrono::steady_clock::now();
    options.device.trace = [trace, start](const std::string& line) {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      std::fprintf(trace, "%lld %s\n", static_cast<long long>(ms.count()), line.c_str());
      std::fflush(trace);
    };
  }

  // Signals are taken by sigwait below; every thread started from here inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  for (const int s : {SIGUSR1, SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  // The bulk pipes serve the receiver's sessions, or the file store when given one, else the
  // script.
  std::unique_ptr<usbip::BulkFunction> function;
  files::FileStore* store = nullptr;
  if (receiver) {
    function = receiver->MakeFunction();
  } else if (!options.files.folder.empty()) {
    auto files = std::make_unique<files::FileStore>(
        options.files, options.device.descriptors.bcdDevice, options.device.descriptors.maxPacket);
    if (!files->Open(&error)) {
      std::fprintf(stderr, "penwick-sim usb: %s\n", error.c_str());
      return 2;
    }
    store = files.get();
    function = std::move(files);
  } else {
    function = std::make_unique<usbip::ScriptFunction>(std::move(options.rules));
  }
  usbip::EmulatedDevice device(options.device, std::move(function));
  usbip::UsbipServer server(device);
  if (!server.Start(options.listen, options.port, &error)) {
    std::fprintf(stderr, "penwick-sim usb: cannot listen on %s\n", error.c_str());
    if (trace != nullptr && trace != stderr) std::fclose(trace);
    return 1;
  }
  if (receiver) receiver->Start(device);
  std::printf("USBIP %s:%u busid %s\n", options.listen.c_str(), server.port(),
              options.device.busid.c_str());
  std::fflush(stdout);

  // Until a stop signal, or until the receiver's run is over.
  const timespec tick{0, 100'000'000};
  while (!receiver || !receiver->Finished(std::chrono::steady_clock::now())) {
    const int s =
        receiver ? sigtimedwait(&signals, nullptr, &tick) : sigwaitinfo(&signals, nullptr);
    if (s < 0) continue;  // the tick, or an interruption
    if (s != SIGUSR1) break;
    std::fprintf(stderr, "penwick-sim usb: reboot, back in %lld ms\n",
                 static_cast<long long>(options.device.rebootDelay.count()));
    device.Reboot();
  }
  if (receiver) receiver->Stop();
  server.Stop();
  if (trace != nullptr && trace != stderr) std::fclose(trace);
  if (receiver) return receiver->ExitStatus();
  if (store == nullptr) return 0;
  bool ok = false;
  std::printf("%s\n", store->Finish(&ok).c_str());
  return ok ? 0 : 1;
}

}  // namespace sim
