// Unpacks running at the same time on several threads: each call has its own decoder, so
// every thread gets its own region back intact.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "lh5_test_writer.h"
#include "sample_region.h"
#include "unpack.h"

TEST(UnpackThreads, ConcurrentUnpacksDoNotShareDecoderState) {
  constexpr int kThreads = 4;
  std::vector<std::vector<uint8_t>> regions, containers;
  for (int t = 0; t < kThreads; ++t) {
    std::vector<uint8_t> region(393216, 0xFF);
    const auto sample = samples::MakeSampleRegion(static_cast<uint32_t>(100 + t));
    // Different contents per thread: a different number of leading sample blocks.
    const auto blocks = static_cast<ptrdiff_t>(4 + 2 * t);
    std::copy(sample.begin(), sample.begin() + blocks * 8192, region.begin());
    containers.push_back(lh5test::MakeContainer(region, samples::MakeIdentity(0x4000)));
    regions.push_back(std::move(region));
  }
  codec::ImageStores stores;
  std::vector<int> results(kThreads, -1);
  std::vector<std::vector<uint8_t>> outputs(kThreads, std::vector<uint8_t>(393216));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      int ok = 1;
      for (int round = 0; round < 3 && ok == 1; ++round) {
        std::vector<uint8_t> copy = containers[t];
        ok = codec::UnpackFlashData(copy.data(), outputs[t].data(), stores);
      }
      results[t] = ok;
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(results[t], 1) << "thread " << t;
    EXPECT_TRUE(outputs[t] == regions[t]) << "thread " << t;
  }
}
