// penwick-serial-session: runs one serial session through libNorraLink's public API, the way
// the program does (open, reboot request, start, notifications, close), and reports the
// result with the wall time and the process's CPU time. Used by bench/serial_bench.sh.
//
//   penwick-serial-session down PORT PAK EEPROM [FOLDER]   serial download of the two images
//   penwick-serial-session up PORT [PAK_OUT EEPROM_OUT]    serial upload into the two files
//   penwick-serial-session idle PORT SECONDS               a download whose request never comes
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "NorraLink.h"
#include "penwick/window.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool ReadExactly(const char* path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return in.gcount() == static_cast<std::streamsize>(out.size());
}

bool Write(const char* path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

int Usage() {
  std::fprintf(stderr,
               "Usage: penwick-serial-session down PORT PAK EEPROM [FOLDER]\n"
               "       penwick-serial-session up PORT [PAK_OUT EEPROM_OUT]\n"
               "       penwick-serial-session idle PORT SECONDS\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string mode = argv[1];
  const char* port = argv[2];
  constexpr int kUpDone = 4002, kDownDone = 4003;
  int completion = 0;
  intptr_t result = -1;
  PwWindow window([&](const pw::Message& m) {
    if (static_cast<int>(m.code) == completion) {
      result = m.value;
      Dll_CloseSerialPort();  // as the program does on the completion notice
    }
    return intptr_t{0};
  });

  std::vector<uint8_t> packed(131072), eeprom(256);
  if (mode == "down") {
    if (argc < 5 || !ReadExactly(argv[3], packed) || !ReadExactly(argv[4], eeprom)) return Usage();
    Dll_PutPackedFlashData(packed.data());
    Dll_PutEepromData(eeprom.data());
  } else if (mode != "up" && !(mode == "idle" && argc >= 4)) {
    return Usage();
  }

  const auto wallStart = Clock::now();
  const double cpuStart = CpuSeconds();
  if (Dll_OpenSerialPort(port, 115200, 0) != 1) {
    std::fprintf(stderr, "penwick-serial-session: cannot open %s\n", port);
    return 1;
  }
  bool started = false;
  if (mode == "idle") {
    completion = kDownDone;
    started = Dll_SerialDown(".", window.handle(), completion) == 1;
    // Nothing arrives while the request does not come: sleeping here instead of pumping
    // leaves the library's own threads as the only CPU users being measured.
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[3])));
    const double idleCpu = CpuSeconds() - cpuStart;
    const double idleWall = std::chrono::duration<double>(Clock::now() - wallStart).count();
    Dll_CloseSerialPort();
    window.Pump([&] { return result >= 0; }, std::chrono::seconds(10));
    std::printf("IDLE wall_s=%.3f cpu_s=%.4f core_percent=%.3f result=%ld\n", idleWall, idleCpu,
                100.0 * idleCpu / idleWall, static_cast<long>(result));
    return started && result == 4 ? 0 : 1;
  }
  Dll_AutoReboot();
  if (mode == "down") {
    completion = kDownDone;
    started = Dll_SerialDown(argc >= 6 ? argv[5] : ".", window.handle(), completion) == 1;
  } else {
    completion = kUpDone;
    started = Dll_SerialUp(window.handle(), completion) == 1;
  }
  if (!started) {
    std::fprintf(stderr, "penwick-serial-session: the session did not start\n");
    return 1;
  }
  window.Pump([&] { return result >= 0; }, std::chrono::minutes(10));
  const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
  const double cpu = CpuSeconds() - cpuStart;
  if (result < 0) Dll_CloseSerialPort();
  std::printf("SESSION %s result=%ld wall_s=%.3f cpu_s=%.3f\n", mode.c_str(),
              static_cast<long>(result), wall, cpu);
  if (mode == "up" && argc >= 5) {
    Dll_GetPackedFlashData(packed.data());
    Dll_GetEepromData(eeprom.data());
    if (!Write(argv[3], packed) || !Write(argv[4], eeprom)) return 1;
  }
  return (mode == "down" && result == 3) || (mode == "up" && result == 1) ? 0 : 1;
}
