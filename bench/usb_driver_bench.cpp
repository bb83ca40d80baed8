// Round trips and bulk throughput of the USB driver's USB/IP client against the emulated
// receiver (`penwick-sim usb --echo`) on loopback. Run:
//   cmake -B build-bench -DCMAKE_BUILD_TYPE=Release -DPENWICK_BENCH=ON -DPENWICK_TESTS=OFF
//   cmake --build build-bench --target usb_driver_bench penwick-sim &&
//   build-bench/bin/usb_driver_bench
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "backends.hpp"
#include "penwick/usb_driver.hpp"

extern char** environ;

using namespace std::chrono_literals;

namespace {

// One emulated receiver and one driver for the whole run.
struct Receiver {
  pid_t pid = -1;
  std::unique_ptr<pw::usb::Driver> driver;
  pw::usb::Handle out = pw::usb::kInvalidHandle;
  pw::usb::Handle in = pw::usb::kInvalidHandle;

  Receiver() {
    std::vector<std::string> args = {PENWICK_SIM_PATH, "usb",          "--port", "0",
                                     "--echo",         "--max-packet", "512"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    if (posix_spawn(&pid, PENWICK_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string line;
    char c = 0;
    while (pid > 0 && (line.empty() || line.back() != '\n')) {
      pollfd p{pipeFds[0], POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0 || read(pipeFds[0], &c, 1) != 1) break;
      line += c;
    }
    close(pipeFds[0]);
    const auto colon = line.find(':');
    if (!line.starts_with("USBIP ") || colon == std::string::npos) return;
    const auto port = static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
    std::vector<std::unique_ptr<pw::usb::Backend>> backends;
    backends.push_back(pw::usb::MakeUsbipBackend({{"127.0.0.1", port}}));
    driver = std::make_unique<pw::usb::Driver>(std::move(backends));
    const std::string dev = "usbip:127.0.0.1:" + std::to_string(port) + "/1-1";
    out = driver->Open(pw::usb::PipePath(dev, 0)).handle;
    in = driver->Open(pw::usb::PipePath(dev, 1)).handle;
  }
  ~Receiver() {
    driver.reset();
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
  bool ok() const { return out != pw::usb::kInvalidHandle && in != pw::usb::kInvalidHandle; }

  // Writes `length` bytes and reads the echo back; false on any failure.
  bool RoundTrip(const std::vector<uint8_t>& data, size_t readLength) {
    auto write = driver->Write(out, data.data(), data.size());
    if (!write->Wait(10s) || write->status() != pw::usb::Status::Success) return false;
    size_t got = 0;
    while (got < data.size()) {
      auto read = driver->Read(in, readLength);
      if (!read->Wait(10s) || read->status() != pw::usb::Status::Success) return false;
      got += read->Transferred();
    }
    return got == data.size();
  }
};

Receiver& TheReceiver() {
  static Receiver receiver;
  return receiver;
}

void BM_RoundTrip9BytesOut64In(benchmark::State& state) {
  auto& receiver = TheReceiver();
  if (!receiver.ok()) {
    state.SkipWithError("penwick-sim usb did not start");
    return;
  }
  const std::vector<uint8_t> frame = {'H', 'a', 'V', 'o', 0, 1, 2, 3, 4};
  for (auto _ : state) {
    if (!receiver.RoundTrip(frame, 64)) {
      state.SkipWithError("round trip failed");
      break;
    }
  }
  state.counters["round_trips_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RoundTrip9BytesOut64In)->UseRealTime();

void BM_Bulk64KOutAndBack(benchmark::State& state) {
  auto& receiver = TheReceiver();
  if (!receiver.ok()) {
    state.SkipWithError("penwick-sim usb did not start");
    return;
  }
  std::vector<uint8_t> block(65536);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7);
  for (auto _ : state) {
    if (!receiver.RoundTrip(block, 66048)) {
      state.SkipWithError("bulk transfer failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * 65536);
}
BENCHMARK(BM_Bulk64KOutAndBack)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
