// The emulated receiver's USB/IP server on loopback, driven by a minimal client: round trips
// of a 9-byte frame write (one 64-byte packet) and a 64-byte answer, and 64 KB echo
// throughput. These bound what host-side benchmarks against the emulated receiver can show.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bulk_script.h"
#include "emulated_device.h"
#include "usbip_server.h"
#include "usbip_test_client.h"

namespace {

using namespace sim::usbip;

struct Fixture {
  explicit Fixture(const char* rule) {
    std::string error;
    std::vector<ScriptRule> rules{*ParseScriptLine(rule, &error)};
    DeviceSettings settings;
    settings.descriptors.maxPacket = 512;
    device = std::make_unique<EmulatedDevice>(settings,
                                              std::make_unique<ScriptFunction>(std::move(rules)));
    server = std::make_unique<UsbipServer>(*device);
    ok = server->Start("127.0.0.1", 0, &error) && client.Import(server->port());
  }
  std::unique_ptr<EmulatedDevice> device;
  std::unique_ptr<UsbipServer> server;
  test::Client client;
  bool ok = false;
};

void BM_FrameRoundTrip(benchmark::State& state) {
  // 128 hex digits: a 64-byte answer.
  Fixture f(("write \"HaVo\" => read " + std::string(128, 'a')).c_str());
  if (!f.ok) state.SkipWithError("server did not start");
  std::vector<uint8_t> frame{'H', 'a', 'V', 'o', 0, 1, 0, 0, 1};
  frame.resize(512, 0);  // the host pads a write to a whole packet
  for (auto _ : state) {
    f.client.Submit(0, 1, static_cast<int32_t>(frame.size()), frame);
    f.client.Submit(1, 2, 512);
    auto written = f.client.Receive();
    auto read = f.client.Receive();
    if (!written || !read || read->data.size() != 64) state.SkipWithError("lost a reply");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FrameRoundTrip)->UseRealTime();

void BM_Echo64K(benchmark::State& state) {
  Fixture f("write * => echo");
  if (!f.ok) state.SkipWithError("server did not start");
  std::vector<uint8_t> block(65536, 0x5A);
  for (auto _ : state) {
    f.client.Submit(0, 1, 65536, block);
    f.client.Submit(1, 2, 66048);
    auto written = f.client.Receive();
    auto read = f.client.Receive();
    if (!written || !read || read->data.size() != 65536) state.SkipWithError("lost a reply");
  }
  state.SetBytesProcessed(state.iterations() * 2 * 65536);  // out and back
}
BENCHMARK(BM_Echo64K)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
