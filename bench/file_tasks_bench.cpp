// The file tasks against the emulated receiver's file store over USB/IP on loopback: a 16 MB
// file sent and received, in MB/s, with the host process's CPU time per transfer (the worker
// thread included; the receiver runs in its own process). range(0): 1 send, 0 receive;
// range(1): 1 for device version 0x0100 (the host swaps in software), 0 for 0x0200.
//
//   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPENWICK_BENCH=ON -DPENWICK_TESTS=OFF
//   cmake --build build-bench -j2 --target file_tasks_bench && build-bench/bin/file_tasks_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "HvUsb.h"
#include "penwick/usb_backend.hpp"
#include "penwick/window.hpp"
#include "sim_process.h"

namespace {

constexpr size_t kFileSize = 16 << 20;
constexpr uint32_t kDone = 1;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_File16M(benchmark::State& state) {
  const bool send = state.range(0) == 1;
  char pattern[] = "/tmp/penwick-files-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::filesystem::path dir = pattern;
  std::filesystem::create_directory(dir / "store");
  std::vector<char> content(kFileSize);
  std::mt19937 random(1);
  for (char& c : content) c = static_cast<char>(random());
  std::ofstream(send ? dir / "local.bin" : dir / "store" / "remote.bin", std::ios::binary)
      .write(content.data(), static_cast<std::streamsize>(content.size()));

  hvusb_test::SimProcess sim({"--max-packet", "512", "--bcd-device",
                              state.range(1) == 1 ? "0100" : "0200", "--files",
                              (dir / "store").string()});
  if (!sim.ok()) {
    state.SkipWithError("the emulated receiver did not start");
    return;
  }
  sim.UseAsOnlyReceiver();
  InitDevice();
  intptr_t result = -1;
  PwWindow window([&](const pw::Message& m) -> intptr_t {
    if (m.code == kDone) result = m.value;
    return 0;
  });
  if (DeviceArrival(sim.DevicePath().c_str()) != 1) {
    state.SkipWithError("the receiver did not open");
    return;
  }
  const std::string local = (dir / (send ? "local.bin" : "received.bin")).string();
  double cpu = 0;
  for (auto _ : state) {
    result = -1;
    const double before = CpuSeconds();
    const int started =
        send ? UsbTaskFileSend("remote.bin", local.c_str(), window.handle(), kDone)
             : UsbTaskFileReceive(local.c_str(), "remote.bin", window.handle(), kDone);
    if (started != 1 || !window.Pump([&] { return result != -1; }, std::chrono::minutes(5)) ||
        result != 1) {
      state.SkipWithError("the transfer failed");
      break;
    }
    cpu += CpuSeconds() - before;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileSize);
  state.counters["host_cpu_s_per_file"] =
      benchmark::Counter(cpu / static_cast<double>(std::max<int64_t>(state.iterations(), 1)));
  DeviceRemoval(nullptr);
  pw::usb::Driver::Process().Reset({});
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_File16M)
    ->ArgNames({"send", "swapped"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
