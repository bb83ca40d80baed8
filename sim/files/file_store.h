// The receiver's side of the file-transfer packets on the bulk pipes: a folder of files that
// the host sends to (request, file information, data, end, each acknowledged) and receives
// from (file information, then data packets of at most 65,024 bytes, each waiting for PKT_OK,
// then PKT_FILE_END). Everything the host sends is checked; the first fault is kept for the
// closing report. Packets travel pair-swapped on the wire for device versions 0100..01FF
// (the host swaps in software and hands command packets over unswapped).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "bulk_function.h"
#include "file_packets.h"
#include "file_store_options.h"

namespace sim::files {

class FileStore final : public usbip::BulkFunction {
 public:
  FileStore(FileStoreOptions options, uint16_t bcdDevice, uint16_t maxPacket);
  ~FileStore() override;

  // Checks the folder and opens the log; false with a message.
  bool Open(std::string* error);

  void OnOut(std::span<const uint8_t> wire, usbip::BulkPort& port) override;
  void OnReset() override;

  // Stops sending; the closing line ("SIM OK ..." or "SIM FAIL ...") and whether the host
  // made no fault.
  std::string Finish(bool* ok);

 private:
  using Clock = std::chrono::steady_clock;
  enum class Phase {
    kIdle,
    kIncoming,   // the host sends a file
    kOutgoing,   // the host receives a file
    kAbandoned,  // the receiver gave the transfer up; late packets get "no transfer"
  };
  enum class Awaiting { kInfo, kData, kEnd, kCancelOk };

  struct Incoming {
    std::string name;
    bool info = false;
    uint64_t size = 0;
    uint16_t mjd = 0;
    uint8_t hour = 0, minute = 0, second = 0;
    uint32_t attributes = 0;
    bool data = false;        // a data packet has come
    uint64_t next = 0;        // offset the next data packet must have
    bool endedShort = false;  // the last data packet was short: the file's end
  };
  struct Outgoing {
    std::string name;
    uint64_t size = 0;
    uint64_t next = 0;
    Awaiting awaiting = Awaiting::kInfo;
  };

  // One OUT transfer, with `mu_` held; what it sends goes to `outbox_`.
  void Handle(std::span<const uint8_t> wire);
  // Packet handlers (file_store.cpp: dispatch; incoming_file.cpp; outgoing_file.cpp).
  void OnRequest(const CommandPacket& packet);
  void OnInfo(const CommandPacket& packet);
  void OnData(const CommandPacket& packet);
  void OnEnd();
  void OnOk();
  void OnCancel();
  void OnHostFail(const CommandPacket& packet);
  void StartIncoming(const std::string& name);
  void StartOutgoing(const std::string& name, uint64_t position);
  void SendNext();

  // A packet outside the exchange: a fault of the host, unless the receiver itself abandoned
  // the transfer.
  bool OutOfTurn(const char* what);
  void HostFault(const std::string& text, uint32_t reason);
  void Refuse(uint32_t reason, const std::string& why);
  void CloseFile();
  void EndTransfer(Phase next = Phase::kIdle);

  // Sends a packet, as the faults planned for its number allow; `awaited` packets are sent
  // again while the host does not answer.
  void Emit(std::vector<uint8_t> packet, bool awaited, const std::string& text);
  // Queues a packet (in wire order) for the port; a reboot is an empty entry.
  void Put(const std::vector<uint8_t>& packet);
  void PutReboot();
  // Hands what was queued to `port`. The port takes the device's locks, which the device may
  // hold while it calls OnReset: so this runs with `sendMu_` held but never `mu_`.
  static void Deliver(std::vector<std::optional<std::vector<uint8_t>>> queued,
                      usbip::BulkPort* port);
  void ResendLoop();
  void Log(const std::string& line);
  std::string Path(const std::string& name) const;

  const FileStoreOptions options_;
  const bool swapped_;
  const uint16_t maxPacket_;

  std::mutex sendMu_;  // taken before mu_: one delivery at a time, in order
  std::mutex mu_;      // everything below
  std::condition_variable wake_;
  usbip::BulkPort* port_ = nullptr;
  std::vector<std::optional<std::vector<uint8_t>>> outbox_;  // nothing: a reboot
  std::FILE* log_ = nullptr;
  Phase phase_ = Phase::kIdle;
  Incoming in_;
  Outgoing out_;
  int fd_ = -1;

  uint64_t sent_ = 0;  // packets sent, for the faults
  std::vector<bool> fired_;
  bool silent_ = false;
  std::vector<uint8_t> last_;  // the awaited packet, as it should have gone
  int resendsLeft_ = 0;
  Clock::time_point resendAt_{};
  bool stopping_ = false;
  std::thread resender_;

  // For the report.
  std::string firstFault_;
  int stored_ = 0;
  int served_ = 0;
  int resent_ = 0;
  std::vector<std::string> events_;  // host failures and cancels, injected faults
};

}  // namespace sim::files
