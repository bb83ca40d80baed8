// Request handling of the emulated device. Lock order: function_mu_, mu_, drop_mu_, trace_mu_.
#include "emulated_device.h"

#include "byte_order.h"
#include "reboot_frame.h"

namespace sim::usbip {
namespace {

constexpr std::uint32_t kOutEndpointNumber = kBulkOutAddress & 0x0F;
constexpr std::uint32_t kInEndpointNumber = kBulkInAddress & 0x0F;

// "01 02 03 ..." of at most the first 16 bytes.
std::string Hex(std::span<const std::uint8_t> bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size() && i < 16; ++i) {
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
  std::lock_guard lock(trace_mu_);
  settings_.trace(line);
}

EmulatedDevice::EmulatedDevice(DeviceSettings settings, std::unique_ptr<BulkFunction> function)
    : settings_(std::move(settings)),
      function_(std::move(function)),
      model_(settings_.descriptors),
      in_pipe_(settings_.descriptors.max_packet) {
  if (settings_.appear_after) {
    present_ = false;
    rebooting_ = true;
    back_at_ = Clock::now() + *settings_.appear_after;
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
  r.id_vendor = d.id_vendor;
  r.id_product = d.id_product;
  r.bcd_device = d.bcd_device;
  r.configuration_value = 1;
  r.num_configurations = 1;
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
  std::lock_guard function_lock(function_mu_);
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
    std::lock_guard drop_lock(drop_mu_);
    drop_target_ = sink;
  }
  model_.Reset();
  in_pipe_.Reset();
  if (!first_import_) first_import_ = Clock::now();
  if (function_) function_->OnReset();
  Trace("import");
  return Record();
}

void EmulatedDevice::Release(UrbSink* sink) {
  std::lock_guard lock(mu_);
  if (active_ == sink) {
    active_ = nullptr;
    in_pipe_.Reset();
    Trace("release");
  }
  std::lock_guard drop_lock(drop_mu_);
  if (drop_target_ == sink) drop_target_ = nullptr;
}

void EmulatedDevice::Submit(UrbSink* sink, const UrbHeader& h,
                            std::span<const std::uint8_t> out_data) {
  if (h.ep == 0) {
    std::lock_guard lock(mu_);
    if (active_ != sink) return;
    const auto setup = std::span<const std::uint8_t, 8>(h.setup);
    ControlResult result = model_.Control(setup, out_data);
    Trace("control seq=" + std::to_string(h.seqnum) + " setup=" + Hex(h.setup) +
          " status=" + std::to_string(result.status));
    // A control IN answers with at most the buffer the host gave.
    const auto limit = static_cast<std::size_t>(h.transfer_buffer_length);
    if (result.data.size() > limit) result.data.resize(limit);
    const bool in = h.direction == kDirIn;
    const auto actual = static_cast<std::uint32_t>(
        result.status != kStatusOk ? 0 : (in ? result.data.size() : out_data.size()));
    sink->SendRetSubmit(
        h.seqnum, result.status,
        in ? std::span<const std::uint8_t>(result.data) : std::span<const std::uint8_t>(), actual);
    return;
  }
  if (HasBulkPipes() && h.ep == kOutEndpointNumber && h.direction == kDirOut) {
    BulkOut(sink, h, out_data);
    return;
  }
  std::lock_guard lock(mu_);
  if (active_ != sink) return;
  if (HasBulkPipes() && h.ep == kInEndpointNumber && h.direction == kDirIn) {
    Trace("in seq=" + std::to_string(h.seqnum) +
          " length=" + std::to_string(h.transfer_buffer_length));
    in_pipe_.Submit(h.seqnum, static_cast<std::uint32_t>(h.transfer_buffer_length));
    CompleteReadsLocked();
    return;
  }
  Trace("stall seq=" + std::to_string(h.seqnum) + " ep=" + std::to_string(h.ep) +
        " direction=" + std::to_string(h.direction));
  sink->SendRetSubmit(h.seqnum, kStatusStall, {}, 0);  // no such endpoint
}

void EmulatedDevice::BulkOut(UrbSink* sink, const UrbHeader& h,
                             std::span<const std::uint8_t> data) {
  {
    std::lock_guard lock(mu_);
    if (active_ != sink) return;
    Trace("out seq=" + std::to_string(h.seqnum) + " length=" + std::to_string(data.size()) +
          " data=" + Hex(data));
    sink->SendRetSubmit(h.seqnum, kStatusOk, {}, static_cast<std::uint32_t>(data.size()));
  }
  // The device acknowledges the frame before it acts on it.
  if (settings_.reboot_on_frame &&
      IsRebootFrame(data, HardwareSwapsPairs(settings_.descriptors.bcd_device))) {
    Reboot();
    return;
  }
  std::lock_guard function_lock(function_mu_);
  if (function_) function_->OnOut(data, *this);
}

void EmulatedDevice::Unlink(UrbSink* sink, std::uint32_t seqnum, std::uint32_t victim) {
  std::lock_guard lock(mu_);
  if (active_ != sink) return;
  const bool cancelled = in_pipe_.Unlink(victim);
  Trace("unlink seq=" + std::to_string(seqnum) + " victim=" + std::to_string(victim) +
        (cancelled ? " cancelled" : " completed"));
  sink->SendRetUnlink(seqnum, cancelled ? kStatusUnlinked : kStatusOk);
}

void EmulatedDevice::CompleteReadsLocked() {
  if (active_ == nullptr) return;
  for (const InCompletion& c : in_pipe_.Complete()) {
    Trace("in-done seq=" + std::to_string(c.seqnum) + " length=" + std::to_string(c.data.size()) +
          " status=" + std::to_string(c.status));
    active_->SendRetSubmit(c.seqnum, c.status, c.data, static_cast<std::uint32_t>(c.data.size()));
  }
}

void EmulatedDevice::SendIn(std::vector<std::uint8_t> transfer) {
  std::lock_guard lock(mu_);
  if (!present_) return;  // a rebooting device sends nothing
  in_pipe_.Push(std::move(transfer));
  CompleteReadsLocked();
}

void EmulatedDevice::Reboot() {
  if (LeaveBus(settings_.reboot_delay)) Trace("reboot");
}

void EmulatedDevice::Unplug() {
  if (LeaveBus(std::nullopt)) Trace("unplug");
}

bool EmulatedDevice::LeaveBus(std::optional<std::chrono::milliseconds> back_after) {
  // Off the list first, so that the host never finds it listed after the connection dropped.
  if (!present_.exchange(false)) return false;
  {
    std::lock_guard drop_lock(drop_mu_);
    if (drop_target_ != nullptr) drop_target_->Drop();
    drop_target_ = nullptr;
  }
  {
    std::lock_guard lock(mu_);
    rebooting_ = back_after.has_value();
    if (back_after) back_at_ = Clock::now() + *back_after;
    active_ = nullptr;
    in_pipe_.Reset();
    model_.Reset();
  }
  // The function forgets the exchange that the restart ended. Not under function_mu_: a
  // function may reboot the device from inside OnOut, or from a thread of its own while an
  // OnOut waits for that thread.
  if (function_) function_->OnReset();
  return true;
}

void EmulatedDevice::Tick(Clock::time_point now) {
  bool reboot_now = false;
  {
    std::lock_guard lock(mu_);
    if (rebooting_ && now >= back_at_) {
      rebooting_ = false;
      present_ = true;
      Trace("back");
    }
    if (settings_.reboot_after && first_import_ && !scheduled_reboot_done_ &&
        now >= *first_import_ + *settings_.reboot_after) {
      scheduled_reboot_done_ = true;
      reboot_now = true;
    }
  }
  if (reboot_now) Reboot();
}

std::size_t EmulatedDevice::pending_reads() const {
  std::lock_guard lock(mu_);
  return in_pipe_.pending();
}

}  // namespace sim::usbip
