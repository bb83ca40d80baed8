// The image stores' exported accessors.
#include <algorithm>

#include "NorraLink.h"
#include "library_state.h"

extern "C" {

int32_t Dll_GetPackedFlashData(uint8_t* destination) {
  transfer::Stores().GetPacked(destination);
  return 1;
}

void Dll_PutPackedFlashData(const uint8_t* source) {
  transfer::Stores().PutPacked(source);
}

int32_t Dll_GetEepromData(uint8_t* destination) {
  transfer::Stores().GetEeprom(destination);
  return 1;
}

void Dll_PutEepromData(const uint8_t* source) {
  transfer::Stores().PutEeprom(source);
}

int32_t Dll_GetModelIdFromPackedFlashData(const uint8_t* container, uint8_t* destination) {
  std::copy(container, container + codec::kIdentitySize, destination);
  return 1;
}

uint16_t Dll_GetSystemIdFromPackedFlashData(const uint8_t* container) {
  return Get16bit(container + codec::kIdentitySystemId);
}

int32_t Dll_GetModelId(uint8_t* destination) {
  transfer::Stores().GetIdentity(destination);
  return 1;
}

uint16_t Dll_GetSystemId(void) {
  return transfer::Stores().GetSystemId();
}

}  // extern "C"
