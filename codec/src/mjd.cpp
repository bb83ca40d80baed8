// Modified Julian Date conversion: the integer form of the broadcast MJD rule, every
// fraction scaled by 10000, in unsigned 32-bit arithmetic.
#include "PenwickHelpers.h"

namespace {

constexpr uint32_t kFirstMjd = 15020;      // 1900-01-01
constexpr uint32_t kFirstRuleMjd = 15079;  // 1900-03-01: the rule holds from here on
constexpr uint32_t kLastMjd = 65535;

}  // namespace

extern "C" {

uint8_t ExtractMjd(uint16_t mjd, uint16_t* year, uint8_t* month, uint8_t* day, uint8_t* weekday) {
  const uint32_t m = mjd;
  if (m < kFirstMjd) return 0;
  *weekday = static_cast<uint8_t>((m + 2) % 7);
  if (m < kFirstRuleMjd) {
    // January and February 1900 lie before the rule's range; count them directly.
    const uint32_t offset = m - kFirstMjd;
    *year = 1900;
    *month = static_cast<uint8_t>(offset < 31 ? 1 : 2);
    *day = static_cast<uint8_t>(offset < 31 ? offset + 1 : offset - 30);
    return 1;
  }
  const uint32_t scaled = m * 10000u;
  const uint32_t y = (scaled - 150782000u) / 3652500u;
  const uint32_t a = y * 3652500u - ((y * 3652500u) % 10000u);
  const uint32_t mm = (scaled - 149561000u - a) / 306001u;
  const uint32_t b = mm * 306001u - ((mm * 306001u) % 10000u);
  const uint32_t d = (scaled - 149560000u - a - b) / 10000u;
  const uint32_t k = (mm == 14 || mm == 15) ? 1 : 0;
  *year = static_cast<uint16_t>(1900 + y + k);
  *month = static_cast<uint8_t>(mm - 1 - 12 * k);
  *day = static_cast<uint8_t>(d);
  return 1;
}

uint16_t MakeMjd(uint16_t year, uint8_t month, uint8_t day) {
  if (year < 1900 || year > 2100 || month < 1 || month > 12 || day < 1 || day > 31) return 0;
  const uint32_t l = (month == 1 || month == 2) ? 1 : 0;
  const uint32_t mjd = 14956u + day + ((year - l) * 36525u - 69397500u) / 100u +
                       ((month + 1u + 12u * l) * 306001u) / 10000u;
  if (mjd < kFirstMjd || mjd > kLastMjd) return 0;
  return static_cast<uint16_t>(mjd);
}

}  // extern "C"
