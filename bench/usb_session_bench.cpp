// A USB download of a full transfer file and a USB upload of both images through libNorraLink
// against the emulated receiver over USB/IP on loopback (a `penwick-sim usb --mode ...` child
// process per session). Per session: the host's wall time from the start call to the
// completion notice and the host's CPU time (this process: the caller's thread, the worker,
// the USB driver's threads), with the fixed pauses of the session (download: 300 ms after the
// opening and 100 ms before the notice; upload: 300 ms before the notice) reported apart.
//
//   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPENWICK_BENCH=ON -DPENWICK_TESTS=OFF
//   cmake --build build-bench -j2 --target usb_session_bench && build-bench/bin/usb_session_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "HvUsb.h"
#include "NorraLink.h"
#include "penwick/usb_backend.hpp"
#include "penwick/window.hpp"
#include "sample_region.h"
#include "sim_process.h"
#include "usb_session.h"

namespace {

using namespace std::chrono;

double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// A realistic transfer: the packed image of a sample settings region, and an EEPROM image.
struct Images {
  std::filesystem::path dir;
  std::vector<uint8_t> packed = std::vector<uint8_t>(131072);
  std::vector<uint8_t> eeprom = samples::RandomBytes(256, 7);

  Images() {
    dir = std::filesystem::temp_directory_path() / ("pw-usb-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto region = samples::MakePackableSampleRegion(1);
    Dll_PackFlashData(region.data(), packed.data());
    Save("image.pak", packed);
    Save("eeprom.bin", eeprom);
  }
  ~Images() { std::filesystem::remove_all(dir); }
  void Save(const char* name, const std::vector<uint8_t>& bytes) const {
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  }
  std::vector<std::string> Options(std::vector<std::string> options) const {
    options.insert(options.end(), {"--pak", (dir / "image.pak").string(), "--eeprom",
                                   (dir / "eeprom.bin").string()});
    return options;
  }
};

// One session per iteration against a fresh receiver; the receiver's start and end are not
// timed. range(0): 1 download, 0 upload.
void BM_UsbSession(benchmark::State& state) {
  const bool download = state.range(0) != 0;
  const milliseconds pauses = download ? 400ms : 300ms;
  static const Images images;
  Dll_PutPackedFlashData(images.packed.data());
  Dll_PutEepromData(images.eeprom.data());
  InitDevice();
  Dll_InitUsbFunc();
  constexpr int kDone = 4000;
  intptr_t result = 0;
  PwWindow window([&](const pw::Message& m) {
    if (m.kind == pw::MessageKind::Command && m.code == kDone) result = m.value;
    return intptr_t{0};
  });
  double wallMs = 0, cpuMs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    hvusb_test::SimProcess sim(
        images.Options({"--mode", download ? "download" : "upload", "--block-size", "65527",
                        "--max-packet", "512", "--bcd-device", "0200"}));
    sim.UseAsOnlyReceiver();
    if (!sim.ok() || DeviceArrival(sim.DevicePath().c_str()) != 1) {
      state.SkipWithError("the receiver did not start");
      break;
    }
    result = 0;
    state.ResumeTiming();

    const auto start = steady_clock::now();
    const double cpuStart = ProcessCpuMs();
    const int started = download ? Dll_UsbDown(images.dir.c_str(), window.handle(), kDone)
                                 : Dll_UsbUp(window.handle(), kDone);
    window.Pump([&] { return result != 0 || started != 1; }, 60s);
    const double wall = duration<double, std::milli>(steady_clock::now() - start).count();
    const double cpu = ProcessCpuMs() - cpuStart;
    state.SetIterationTime(wall / 1e3);
    wallMs += wall;
    cpuMs += cpu;

    state.PauseTiming();
    const auto end = sim.Finish(30s);
    window.Pump([] { return transfer::LiveUsbWorkers() == 0; }, 30s);
    DeviceRemoval(nullptr);
    if (result != (download ? 259 : 257) || end.status != 0) {
      state.SkipWithError(
          ("the session failed: " + std::to_string(result) + ", " + end.lastLine).c_str());
      break;
    }
    state.ResumeTiming();
  }
  pw::usb::Driver::Process().Reset({});
  const double n = static_cast<double>(state.iterations());
  state.counters["host_wall_ms"] = wallMs / n;
  state.counters["host_cpu_ms"] = cpuMs / n;
  state.counters["fixed_pauses_ms"] = static_cast<double>(pauses.count());
  state.counters["wall_beyond_pauses_ms"] = wallMs / n - static_cast<double>(pauses.count());
}
BENCHMARK(BM_UsbSession)
    ->ArgName("download")
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
