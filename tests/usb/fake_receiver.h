// Test fixture: the library over a driver whose only backend is the scripted fake, with the
// driver's time-outs shortened (an 8 s read waits 200 ms).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "HvUsb.h"
#include "penwick/usb_driver.hpp"
#include "penwick/usb_fake.hpp"

namespace hvusb_test {

inline constexpr char kPath[] = "fake:1-1";
inline constexpr char kOtherPath[] = "fake:1-2";
inline constexpr uint8_t kOutEp = 0x01;
inline constexpr uint8_t kInEp = 0x82;

class FakeReceiver : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<pw::usb::FakeBackend>();
    fake = backend.get();
    pw::usb::SetTimeoutPermille(25);
    pw::usb::Driver::Process().Reset(pw::usb::MakeBackends(std::move(backend)));
    InitDevice();
  }
  void TearDown() override {
    DeviceRemoval(nullptr);
    pw::usb::Driver::Process().Reset({});
    pw::usb::SetTimeoutPermille(1000);
  }

  // Adds a receiver (without an arrival notice) and opens it.
  int Attach(const std::string& path, pw::usb::FakeBackend::Descriptors descriptors) {
    fake->AddDevice(path, std::move(descriptors), false);
    return DeviceArrival(path.c_str());
  }
  int AttachReceiver(uint16_t packetSize = 64, uint16_t version = 0x0200) {
    return Attach(kPath, pw::usb::FakeBackend::ReceiverDescriptors(packetSize, version));
  }
  void ScriptReply(std::vector<uint8_t> data,
                   pw::usb::FakeBackend::Timing timing = pw::usb::FakeBackend::Timing::Later,
                   pw::usb::Status status = pw::usb::Status::Success) {
    pw::usb::FakeBackend::Reply reply;
    reply.data = std::move(data);
    reply.timing = timing;
    reply.status = status;
    fake->ScriptRead(kPath, kInEp, std::move(reply));
  }

  pw::usb::FakeBackend* fake = nullptr;
};

// Configuration sets built byte by byte.
using Bytes = std::vector<uint8_t>;
inline Bytes InterfaceDescriptor(uint8_t endpoints) {
  return {9, 4, 0, 0, endpoints, 0xFF, 0, 0, 0};
}
inline Bytes EndpointDescriptor(uint8_t address, uint16_t size) {
  return {7, 5, address, 2, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8), 0};
}
inline Bytes ConfigurationSet(const std::vector<Bytes>& parts) {
  Bytes set{9, 2, 0, 0, 1, 1, 0, 0x80, 50};
  for (const Bytes& p : parts) set.insert(set.end(), p.begin(), p.end());
  set[2] = static_cast<uint8_t>(set.size());
  set[3] = static_cast<uint8_t>(set.size() >> 8);
  return set;
}
inline pw::usb::FakeBackend::Descriptors WithConfiguration(Bytes set, uint16_t version = 0x0200) {
  auto d = pw::usb::FakeBackend::ReceiverDescriptors(64, version);
  d.configuration = std::move(set);
  return d;
}

}  // namespace hvusb_test
