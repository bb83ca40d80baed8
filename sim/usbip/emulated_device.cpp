// Request handling of the emulated device. Lock order: functionMu_, mu_, dropMu_, traceMu_.
#include "emulated_device.h"

#include "byte_order.h"
#include "reboot_frame.h"

namespace sim::usbip {
namespace {

constexpr uint32_t kOutEndpointNumber = kBulkOutAddress & 0x0F;
constexpr uint32_t kInEndpointNumber = kBulkInAddress & 0x0F;

// "01 02 03 ..." of at most the first 16 bytes.
std::string Hex(std::span<const uint8_t> bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < 16; ++i) {
    if (i > 0) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  if (bytes.size() > 16) out += " ...";
  return out;
}

}  // namespace

void EmulatedDevice::Trace(const std::string& line) {
  if (!settings_.trace) return;
  std::lock_guard lock(traceMu_);
  settings_.trace(line);
}

EmulatedDevice::EmulatedDevice(DeviceSettings settings, std::unique_ptr<BulkFunction> function)
    : settings_(std::move(settings)),
      function_(std::move(function)),
      model_(settings_.descriptors),
      inPipe_(settings_.descriptors.maxPacket) {
  if (settings_.appearAfter) {
    present_ = false;
    rebooting_ = true;
    backAt_ = Clock::now() + *settings_.appearAfter;
  }
}

DeviceRecord EmulatedDevice::Record() const {
  const DescriptorOptions& d = settings_.descriptors;
  DeviceRecord r;
  r.path = "/sys/devices/platform/penwick-sim/usb" + std::to_string(settings_.busnum) + "/" +
           settings_.busid;
  r.busid = settings_.busid;
  r.busnum = settings_.busnum;
  r.devnum = settings_.devnum;
  r.speed = SpeedCode(d);
  r.idVendor = d.idVendor;
  r.idProduct = d.idProduct;
  r.bcdDevice = d.bcdDevice;
  r.configurationValue = 1;
  r.numConfigurations = 1;
  if (d.shape != ConfigShape::kTotalBelow18) r.interfaces.push_back({kInterfaceClassVendor, 0, 0});
  return r;
}

bool EmulatedDevice::HasBulkPipes() const {
  const ConfigShape shape = settings_.descriptors.shape;
  return shape != ConfigShape::kNoEndpoints && shape != ConfigShape::kTotalBelow18;
}

std::vector<DeviceRecord> EmulatedDevice::List() const {
  std::lock_guard lock(mu_);
  if (!present_) return {};
  return {Record()};
}

std::optional<DeviceRecord> EmulatedDevice::Import(const std::string& busid, UrbSink* sink) {
  std::lock_guard functionLock(functionMu_);
  std::lock_guard lock(mu_);
  if (active_ != nullptr && active_->PeerClosed()) {
    Trace("release (closed by the client)");
    active_->Drop();
    active_ = nullptr;
  }
  if (busid != settings_.busid || !present_ || active_ != nullptr) {
    Trace("import-refused busid=" + busid);
    return std::nullopt;
  }
  active_ = sink;
  {
    std::lock_guard dropLock(dropMu_);
    dropTarget_ = sink;
  }
  model_.Reset();
  inPipe_.Reset();
  if (!firstImport_) firstImport_ = Clock::now();
  if (function_) function_->OnReset();
  Trace("import");
  return Record();
}

void EmulatedDevice::Release(UrbSink* sink) {
  std::lock_guard lock(mu_);
  if (active_ == sink) {
    active_ = nullptr;
    inPipe_.Reset();
    Trace("release");
  }
  std::lock_guard dropLock(dropMu_);
  if (dropTarget_ == sink) dropTarget_ = nullptr;
}

void EmulatedDevice::Submit(UrbSink* sink, const UrbHeader& h, std::span<const uint8_t> outData) {
  if (h.ep == 0) {
    std::lock_guard lock(mu_);
    if (active_ != sink) return;
    const auto setup = std::span<const uint8_t, 8>(h.setup);
    ControlResult result = model_.Control(setup, outData);
    Trace("control seq=" + std::to_string(h.seqnum) + " setup=" + Hex(h.setup) +
          " status=" + std::to_string(result.status));
    // A control IN answers with at most the buffer the host gave.
    const auto limit = static_cast<size_t>(h.transferBufferLength);
    if (result.data.size() > limit) result.data.resize(limit);
    const bool in = h.direction == kDirIn;
    const auto actual = static_cast<uint32_t>(
        result.status != kStatusOk ? 0 : (in ? result.data.size() : outData.size()));
    sink->SendRetSubmit(h.seqnum, result.status,
                        in ? std::span<const uint8_t>(result.data) : std::span<const uint8_t>(),
                        actual);
    return;
  }
  if (HasBulkPipes() && h.ep == kOutEndpointNumber && h.direction == kDirOut) {
    BulkOut(sink, h, outData);
    return;
  }
  std::lock_guard lock(mu_);
  if (active_ != sink) return;
  if (HasBulkPipes() && h.ep == kInEndpointNumber && h.direction == kDirIn) {
    Trace("in seq=" + std::to_string(h.seqnum) +
          " length=" + std::to_string(h.transferBufferLength));
    inPipe_.Submit(h.seqnum, static_cast<uint32_t>(h.transferBufferLength));
    CompleteReadsLocked();
    return;
  }
  Trace("stall seq=" + std::to_string(h.seqnum) + " ep=" + std::to_string(h.ep) +
        " direction=" + std::to_string(h.direction));
  sink->SendRetSubmit(h.seqnum, kStatusStall, {}, 0);  // no such endpoint
}

void EmulatedDevice::BulkOut(UrbSink* sink, const UrbHeader& h, std::span<const uint8_t> data) {
  {
    std::lock_guard lock(mu_);
    if (active_ != sink) return;
    Trace("out seq=" + std::to_string(h.seqnum) + " length=" + std::to_string(data.size()) +
          " data=" + Hex(data));
    sink->SendRetSubmit(h.seqnum, kStatusOk, {}, static_cast<uint32_t>(data.size()));
  }
  // The device acknowledges the frame before it acts on it.
  if (settings_.rebootOnFrame &&
      IsRebootFrame(data, HardwareSwapsPairs(settings_.descriptors.bcdDevice))) {
    Reboot();
    return;
  }
  std::lock_guard functionLock(functionMu_);
  if (function_) function_->OnOut(data, *this);
}

void EmulatedDevice::Unlink(UrbSink* sink, uint32_t seqnum, uint32_t victim) {
  std::lock_guard lock(mu_);
  if (active_ != sink) return;
  const bool cancelled = inPipe_.Unlink(victim);
  Trace("unlink seq=" + std::to_string(seqnum) + " victim=" + std::to_string(victim) +
        (cancelled ? " cancelled" : " completed"));
  sink->SendRetUnlink(seqnum, cancelled ? kStatusUnlinked : kStatusOk);
}

void EmulatedDevice::CompleteReadsLocked() {
  if (active_ == nullptr) return;
  for (const InCompletion& c : inPipe_.Complete()) {
    Trace("in-done seq=" + std::to_string(c.seqnum) + " length=" + std::to_string(c.data.size()) +
          " status=" + std::to_string(c.status));
    active_->SendRetSubmit(c.seqnum, c.status, c.data, static_cast<uint32_t>(c.data.size()));
  }
}

void EmulatedDevice::SendIn(std::vector<uint8_t> transfer) {
  std::lock_guard lock(mu_);
  if (!present_) return;  // a rebooting device sends nothing
  inPipe_.Push(std::move(transfer));
  CompleteReadsLocked();
}

void EmulatedDevice::Reboot() {
  if (LeaveBus(settings_.rebootDelay)) Trace("reboot");
}

void EmulatedDevice::Unplug() {
  if (LeaveBus(std::nullopt)) Trace("unplug");
}

bool EmulatedDevice::LeaveBus(std::optional<std::chrono::milliseconds> backAfter) {
  // Off the list first, so that the host never finds it listed after the connection dropped.
  if (!present_.exchange(false)) return false;
  {
    std::lock_guard dropLock(dropMu_);
    if (dropTarget_ != nullptr) dropTarget_->Drop();
    dropTarget_ = nullptr;
  }
  {
    std::lock_guard lock(mu_);
    rebooting_ = backAfter.has_value();
    if (backAfter) backAt_ = Clock::now() + *backAfter;
    active_ = nullptr;
    inPipe_.Reset();
    model_.Reset();
  }
  // The function forgets the exchange that the restart ended. Not under functionMu_: a
  // function may reboot the device from inside OnOut, or from a thread of its own while an
  // OnOut waits for that thread.
  if (function_) function_->OnReset();
  return true;
}

void EmulatedDevice::Tick(Clock::time_point now) {
  bool rebootNow = false;
  {
    std::lock_guard lock(mu_);
    if (rebooting_ && now >= backAt_) {
      rebooting_ = false;
      present_ = true;
      Trace("back");
    }
    if (settings_.rebootAfter && firstImport_ && !scheduledRebootDone_ &&
        now >= *firstImport_ + *settings_.rebootAfter) {
      scheduledRebootDone_ = true;
      rebootNow = true;
    }
  }
  if (rebootNow) Reboot();
}

size_t EmulatedDevice::pendingReads() const {
  std::lock_guard lock(mu_);
  return inPipe_.pending();
}

}  // namespace sim::usbip
