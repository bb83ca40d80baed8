// The download file writer of the codec, as the download sessions call it.
#pragma once

#include <cstdint>
#include <string>

namespace codec {

// Writes the download file (the packed image and the EEPROM image as one packed stream
// tagged with the system id) at `path`; false (after a notice) when it cannot.
bool WriteDownloadFile(uint16_t systemId, const uint8_t* packed, const uint8_t* eeprom,
                       const std::string& path);

}  // namespace codec
