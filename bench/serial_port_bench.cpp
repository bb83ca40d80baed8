// The serial port over a pseudo-terminal: frame round trips through an echoing far end, the
// time Close takes to wake a waiter, and the CPU an idle wait costs (it should cost none).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "penwick/serial_port.hpp"

namespace {

using namespace std::chrono_literals;

// A pty whose master echoes every byte back until stopped.
struct EchoLine {
  int master = -1;
  std::string path;
  std::atomic<bool> stop{false};
  std::thread echo;

  EchoLine() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master);
    unlockpt(master);
    path = ptsname(master);
  }
  void StartEcho() {
    echo = std::thread([this] {
      uint8_t buf[4096];
      while (!stop.load()) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        for (ssize_t done = 0; done < n;) {
          ssize_t w = write(master, buf + done, static_cast<size_t>(n - done));
          if (w <= 0) break;
          done += w;
        }
      }
    });
  }
  ~EchoLine() {
    stop = true;
    if (echo.joinable()) echo.join();
    close(master);
  }
};

void BM_FrameRoundTrip(benchmark::State& state) {
  EchoLine line;
  pw::SerialPort port;
  if (!port.Open(line.path, 115200)) {
    state.SkipWithError("open failed");
    return;
  }
  line.StartEcho();
  std::vector<uint8_t> frame(static_cast<size_t>(state.range(0)), 0x5A);
  std::vector<uint8_t> back(frame.size());
  for (auto _ : state) {
    port.Write(frame.data(), frame.size());
    size_t got = 0;
    while (got < frame.size()) {
      if (port.WaitForData(5s) != pw::SerialPort::WaitResult::Data) break;
      long n = port.Read(back.data() + got, back.size() - got);
      if (n < 0) break;
      got += static_cast<size_t>(n);
    }
    if (got != frame.size()) state.SkipWithError("echo lost");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0) * 2);
}
BENCHMARK(BM_FrameRoundTrip)->Arg(8)->Arg(263)->UseRealTime();

// Wall time from Close on one thread to the return of WaitForData on another.
void BM_CloseWakesWaiter(benchmark::State& state) {
  EchoLine line;
  for (auto _ : state) {
    state.PauseTiming();
    pw::SerialPort port;
    port.Open(line.path, 115200);
    std::atomic<bool> waiting{false};
    std::chrono::steady_clock::time_point woke;
    std::thread waiter([&] {
      waiting = true;
      port.WaitForData(60s);
      woke = std::chrono::steady_clock::now();
    });
    while (!waiting.load()) std::this_thread::yield();
    std::this_thread::sleep_for(2ms);  // let it enter poll
    const auto closed = std::chrono::steady_clock::now();
    port.Close();
    waiter.join();
    state.SetIterationTime(std::chrono::duration<double>(woke - closed).count());
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CloseWakesWaiter)->UseManualTime()->Iterations(200);

// CPU time of waiting 10 ms on a silent line (CPU time of this thread against wall time).
void BM_IdleWait10ms(benchmark::State& state) {
  EchoLine line;
  pw::SerialPort port;
  port.Open(line.path, 115200);
  for (auto _ : state) benchmark::DoNotOptimize(port.WaitForData(10ms));
}
BENCHMARK(BM_IdleWait10ms)->Iterations(100);

}  // namespace

BENCHMARK_MAIN();
