// Round trips and bulk throughput of the USB driver's USB/IP client against the emulated
// receiver (`penwick-sim usb --echo`) on loopback. Run:
//   cmake -B build-bench -DCMAKE_BUILD_TYPE=Release -DPENWICK_BENCH=ON -DPENWICK_TESTS=OFF
//   cmake --build build-bench --target usb_driver_bench penwick-sim &&
//   build-bench/bin/usb_driver_bench
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "backends.hpp"
#include "child_process.h"
#include "penwick/usb_driver.hpp"

using namespace std::chrono_literals;

namespace {

// One emulated receiver and one driver for the whole run.
struct Receiver {
  pwtest::ChildProcess sim;
  std::unique_ptr<pw::usb::Driver> driver;
  pw::usb::Handle out = pw::usb::kInvalidHandle;
  pw::usb::Handle in = pw::usb::kInvalidHandle;

  Receiver() {
    if (!sim.Start({PENWICK_SIM_PATH, "usb", "--port", "0", "--echo", "--max-packet", "512"})) {
      return;
    }
    const std::string line = sim.ReadLine(10s);
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
    sim.Stop(10s);
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
