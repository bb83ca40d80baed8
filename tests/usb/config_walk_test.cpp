// The configuration walk over descriptor bytes as a device could send them.
#include "config_walk.h"

#include <gtest/gtest.h>

#include <vector>

namespace hvusb {
namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& b, const Bytes& more) {
  b.insert(b.end(), more.begin(), more.end());
}

Bytes Interface(uint8_t endpoints) {
  return {9, 4, 0, 0, endpoints, 0xFF, 0, 0, 0};
}
Bytes Endpoint(uint8_t address, uint16_t size) {
  return {7, 5, address, 2, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8), 0};
}

// A configuration descriptor followed by `body`, with wTotalLength set to the whole size
// (or `total` when given).
Bytes Config(const Bytes& body, int total = -1) {
  Bytes b{9, 2, 0, 0, 1, 1, 0, 0x80, 50};
  Append(b, body);
  const auto t = static_cast<uint16_t>(total < 0 ? static_cast<int>(b.size()) : total);
  b[2] = static_cast<uint8_t>(t);
  b[3] = static_cast<uint8_t>(t >> 8);
  return b;
}

TEST(ConfigWalk, ReceiverLayout) {
  Bytes body = Interface(2);
  Append(body, Endpoint(0x01, 64));
  Append(body, Endpoint(0x82, 512));
  const auto layout = WalkConfiguration(Config(body));
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->interfaceOffset, 9u);
  ASSERT_EQ(layout->numEndpoints, 2);
  EXPECT_EQ(layout->endpoints[0].address, 0x01);
  EXPECT_EQ(layout->endpoints[0].maxPacketSize, 64);
  EXPECT_EQ(layout->endpoints[1].address, 0x82);
  EXPECT_EQ(layout->endpoints[1].maxPacketSize, 512);
}

TEST(ConfigWalk, EndpointCounts) {
  auto none = WalkConfiguration(Config(Interface(0)));
  ASSERT_TRUE(none);
  EXPECT_EQ(none->numEndpoints, 0);

  Bytes body = Interface(32);
  for (int i = 0; i < 33; ++i) Append(body, Endpoint(static_cast<uint8_t>(i + 1), 64));
  auto full = WalkConfiguration(Config(body));
  ASSERT_TRUE(full);
  EXPECT_EQ(full->numEndpoints, 32);
  EXPECT_EQ(full->endpoints[31].address, 32);

  body[4] = 33;
  EXPECT_FALSE(WalkConfiguration(Config(body)));
  // More endpoints announced than present.
  body = Interface(3);
  Append(body, Endpoint(0x01, 64));
  Append(body, Endpoint(0x82, 64));
  EXPECT_FALSE(WalkConfiguration(Config(body)));
}

TEST(ConfigWalk, SkipsDescriptorsBeforeInterfaceAndFirstEndpointOnly) {
  const Bytes other{5, 0x24, 1, 2, 3};
  Bytes body = other;
  Append(body, Interface(2));
  Append(body, other);
  Append(body, Endpoint(0x01, 64));
  Append(body, Endpoint(0x82, 64));
  auto layout = WalkConfiguration(Config(body));
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->interfaceOffset, 14u);
  EXPECT_EQ(layout->endpoints[1].address, 0x82);

  body = Interface(2);
  Append(body, Endpoint(0x01, 64));
  Append(body, other);
  Append(body, Endpoint(0x82, 64));
  EXPECT_FALSE(WalkConfiguration(Config(body)));
}

TEST(ConfigWalk, ShortOrMalformedSetsFail) {
  Bytes body = Interface(1);
  Append(body, Endpoint(0x82, 64));
  EXPECT_FALSE(WalkConfiguration(Config(body, 17)));  // wTotalLength below 18
  Bytes shortFirst = Config(body);
  shortFirst[0] = 8;
  EXPECT_FALSE(WalkConfiguration(shortFirst));
  Bytes wrongType = Config(body);
  wrongType[1] = 1;
  EXPECT_FALSE(WalkConfiguration(wrongType));
  Bytes shortInterface = Config(body);
  shortInterface[9] = 8;
  EXPECT_FALSE(WalkConfiguration(shortInterface));
  Bytes shortEndpoint = Config(body);
  shortEndpoint[18] = 6;
  EXPECT_FALSE(WalkConfiguration(shortEndpoint));
  EXPECT_FALSE(WalkConfiguration(Bytes{}));
  EXPECT_FALSE(WalkConfiguration(Bytes{9, 2, 40}));
}

TEST(ConfigWalk, ZeroOrOneLengthByteFailsInsteadOfStalling) {
  for (uint8_t bad : {uint8_t{0}, uint8_t{1}}) {
    Bytes body{bad, 0x24, 0, 0};
    Append(body, Interface(0));
    EXPECT_FALSE(WalkConfiguration(Config(body))) << int{bad};
    body = Interface(1);
    Append(body, Bytes{bad, 0x24, 0, 0});
    Append(body, Endpoint(0x82, 64));
    EXPECT_FALSE(WalkConfiguration(Config(body))) << int{bad};
  }
}

TEST(ConfigWalk, EndIsTheBytesReceived) {
  Bytes body = Interface(2);
  Append(body, Endpoint(0x01, 64));
  Append(body, Endpoint(0x82, 64));
  Bytes set = Config(body);
  // wTotalLength claims more than arrived: the endpoints past the received end are missing.
  set[2] = 200;
  set.resize(set.size() - 7);
  EXPECT_FALSE(WalkConfiguration(set));
  // A descriptor running past wTotalLength fails even when more bytes arrived.
  set = Config(body, static_cast<int>(Config(body).size()) - 3);
  EXPECT_FALSE(WalkConfiguration(set));
}

}  // namespace
}  // namespace hvusb
