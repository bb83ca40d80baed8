#include "usb_receiver.h"

#include <cstdio>

#include "receiver/play.h"

namespace sim {
namespace {

// Passes the PC's transfers and the device's restarts to the link.
class LinkFunction final : public usbip::BulkFunction {
 public:
  explicit LinkFunction(UsbLink& link) : link_(link) {}
  void OnOut(std::span<const uint8_t> wire, usbip::BulkPort&) override { link_.Deliver(wire); }
  void OnReset() override { link_.Reset(); }

 private:
  UsbLink& link_;
};

}  // namespace

UsbReceiver::UsbReceiver(UsbSessionOptions options, Images images, bool swapped)
    : options_(std::move(options)), images_(std::move(images)), link_(swapped, options_.line) {}

UsbReceiver::~UsbReceiver() {
  Stop();
}

std::unique_ptr<usbip::BulkFunction> UsbReceiver::MakeFunction() {
  return std::make_unique<LinkFunction>(link_);
}

void UsbReceiver::Start(usbip::EmulatedDevice& device) {
  link_.Attach(&device);
  thread_ = std::thread([this] { Run(); });
}

bool UsbReceiver::Finished(std::chrono::steady_clock::time_point now) const {
  return ended_.load() && now.time_since_epoch().count() >= leaveAt_.load();
}

void UsbReceiver::Stop() {
  if (!thread_.joinable()) return;
  stopping_.store(true);
  link_.Close();  // ends a session waiting for the PC
  thread_.join();
  if (!ended_.load()) ReportRun(false, "stopped before a transfer ended");
}

void UsbReceiver::Run() {
  const LogFn log = VerboseLog(options_);
  SessionResult result;
  int lost = 0;
  for (;;) {
    link_.BeginSession();
    result = PlaySession(options_, link_, images_, log);
    if (stopping_.load()) return;
    // A reboot took the line: the receiver is back after it and waits for the next opening.
    if (!result.lineLost || link_.HungUp() || link_.Silent()) break;
    ++lost;
    if (log) log("   (transfer lost to a reboot; waiting for the next opening)");
  }
  const std::string mode = options_.mode == Mode::Upload ? "upload" : "download";
  auto linger = std::chrono::milliseconds(options_.lingerMs);
  if (result.lineLost && link_.HungUp()) {
    result.ok = true;
    result.summary =
        mode + " hung up after " + std::to_string(options_.line.hangupAfter) + " frames as asked";
  } else if (result.lineLost && link_.Silent()) {
    result.ok = true;
    result.summary = mode + " went silent after " + std::to_string(options_.line.silentAfter) +
                     " frames as asked";
    // A receiver that never answers stays on the bus while the PC waits for it.
    linger =
        std::max<std::chrono::milliseconds>(linger, std::chrono::seconds(options_.timeoutSeconds));
  }
  if (result.ok && lost > 0)
    result.summary += ", " + std::to_string(lost) + " transfer(s) lost to a reboot before";
  leaveAt_.store((std::chrono::steady_clock::now() + linger).time_since_epoch().count());
  status_.store(ReportRun(result.ok, result.summary + (result.ok ? RunCounts(result) : "")));
  ended_.store(true);
}

}  // namespace sim
