// Dll_PackFlashData: the packed image of a settings region, carrying the identity of the
// receiver (or container) the library saw last.
#include <array>

#include "NorraLink.h"
#include "library_state.h"
#include "pack.h"

extern "C" {

int32_t Dll_PackFlashData(const uint8_t* region, uint8_t* container) {
  std::array<uint8_t, codec::kIdentitySize> identity{};
  transfer::Stores().GetIdentity(identity.data());
  return codec::PackFlashData(identity.data(), region, container);
}

}  // extern "C"
