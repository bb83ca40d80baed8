// Fuzz target: one client connection to the emulated receiver's USB/IP server, from its first
// byte (operation request) through the URB commands after an import. Checks that every reply
// is well formed: RET_SUBMIT data only for IN, as long as its actualLength says.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "bulk_script.h"
#include "connection.h"
#include "emulated_device.h"
#include "fuzz_target.h"

namespace {

using namespace sim::usbip;

class MemoryStream final : public Stream {
 public:
  explicit MemoryStream(std::span<const uint8_t> input) : input_(input) {}

  bool ReadExact(std::span<uint8_t> out) override {
    if (closed_ || out.size() > input_.size()) return false;
    if (out.empty()) return true;
    std::memcpy(out.data(), input_.data(), out.size());
    input_ = input_.subspan(out.size());
    return true;
  }
  bool Write(std::span<const uint8_t> head, std::span<const uint8_t> tail) override {
    if (firstReply_.empty()) firstReply_.assign(head.begin(), head.end());
    if (head.size() == kUrbHeaderSize) {
      const uint32_t command = head[3];
      const uint32_t actual =
          uint32_t{head[0x18]} << 24 | head[0x19] << 16 | head[0x1A] << 8 | head[0x1B];
      if (command != kRetSubmit && command != kRetUnlink) __builtin_trap();
      if (!tail.empty() && tail.size() != actual) __builtin_trap();
    }
    return !closed_;
  }
  void Shutdown() override { closed_ = true; }
  bool PeerClosed() override { return closed_; }

  // The operation's reply: nothing when the request was dropped, else its status field.
  bool Answered() const {
    return firstReply_.size() >= 8 &&
           (firstReply_[4] | firstReply_[5] | firstReply_[6] | firstReply_[7]) == 0;
  }

 private:
  std::vector<uint8_t> firstReply_;
  std::span<const uint8_t> input_;
  bool closed_ = false;
};

// Serves one connection; true when the server answered its operation with status 0.
bool Serve(const uint8_t* data, size_t size) {
  std::string error;
  std::vector<ScriptRule> rules;
  ParseScript("write 02 => zero\nwrite 03 => read 0102030405\nwrite * => echo\n", &rules, &error);
  DeviceSettings settings;
  settings.descriptors.maxPacket = 64;
  EmulatedDevice device(settings, std::make_unique<ScriptFunction>(std::move(rules)));
  MemoryStream stream(std::span<const uint8_t>(data, size));
  ServeConnection(stream, device);
  return stream.Answered();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Serve(data, size);
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return !Serve(data, size);
}
