// libHvUsb against the emulated receiver over USB/IP on loopback: round trips of a 9-byte
// frame and a 64-byte answer, and 64 KB bulk transfers. Each benchmark starts its own
// `penwick-sim usb` child process.
//
//   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPENWICK_BENCH=ON -DPENWICK_TESTS=OFF
//   cmake --build build-bench -j2 --target usb_usbip_bench && build-bench/bin/usb_usbip_bench
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "HvUsb.h"
#include "penwick/usb_backend.hpp"
#include "sim_process.h"

namespace {

using hvusb_test::SimProcess;

// Starts the receiver with `options` and opens it; null (and the benchmark skipped) on failure.
std::unique_ptr<SimProcess> OpenReceiver(benchmark::State& state,
                                         const std::vector<std::string>& options) {
  auto sim = std::make_unique<SimProcess>(options);
  if (!sim->ok()) {
    state.SkipWithError("the emulated receiver did not start");
    return nullptr;
  }
  sim->UseAsOnlyReceiver();
  InitDevice();
  if (DeviceArrival(sim->DevicePath().c_str()) != 1) {
    state.SkipWithError("the receiver did not open");
    return nullptr;
  }
  return sim;
}

void Close() {
  DeviceRemoval(nullptr);
  pw::usb::Driver::Process().Reset({});
}

// A 9-byte frame out, a 64-byte answer back; range(0) is the packet size.
void BM_RoundTrip(benchmark::State& state) {
  std::string answer = "write * => read ";
  for (int i = 0; i < 64; ++i) answer += "a5";
  auto sim = OpenReceiver(state, {"--max-packet", std::to_string(state.range(0)), "--bcd-device",
                                  "0200", "--rule", answer});
  if (!sim) return;
  std::vector<uint8_t> frame(10, 0x11), reply(66 + 2);
  for (auto _ : state) {
    if (UsbWrite(frame.data(), 9) != 1 || UsbRead(reply.data(), 64) != 64) {
      state.SkipWithError("round trip failed");
      break;
    }
  }
  state.counters["round_trips_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  Close();
}
BENCHMARK(BM_RoundTrip)->Arg(64)->Arg(512)->UseRealTime()->MinTime(2.0);

// 64 KB frames out to a receiver that takes them without answering.
void BM_Write64K(benchmark::State& state) {
  auto sim = OpenReceiver(state, {"--max-packet", "512", "--bcd-device", "0200"});
  if (!sim) return;
  std::vector<uint8_t> frame(65536, 0x5A);
  for (auto _ : state) {
    if (UsbWrite(frame.data(), 65536) != 1) {
      state.SkipWithError("write failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 65536);
  Close();
}
BENCHMARK(BM_Write64K)->UseRealTime()->MinTime(2.0);

// 64 KB out and the same 64 KB back (echo): both directions in one iteration.
void BM_Echo64K(benchmark::State& state) {
  auto sim = OpenReceiver(state, {"--max-packet", "512", "--bcd-device", "0200", "--echo"});
  if (!sim) return;
  std::vector<uint8_t> frame(65536, 0x3C), reply(65537 + 2);
  for (auto _ : state) {
    if (UsbWrite(frame.data(), 65536) != 1 || UsbRead(reply.data(), 65537) != 65535) {
      state.SkipWithError("echo failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * 65536);
  Close();
}
BENCHMARK(BM_Echo64K)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
