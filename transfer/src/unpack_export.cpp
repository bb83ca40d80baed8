// The exported unpack of a packed flash image into the flash region.
#include "NorraLink.h"
#include "library_state.h"
#include "unpack.h"

extern "C" int32_t Dll_UnPackFlashData(uint8_t* container, uint8_t* region) {
  return codec::UnpackFlashData(container, region, transfer::Stores());
}
