// The download file: the packed image (as type-2 chunks) and the EEPROM image (one type-3
// chunk) recompressed into one packed stream whose header tag is the receiver's system id.
#pragma once

#include <cstdint>
#include <string>

namespace codec {

// The file is first written as `path` followed by this suffix and a decimal number, then
// renamed to `path`.
inline constexpr const char* kDownloadTemporarySuffix = ".part";

// Writes the download file at `path` (the full path, folder and name). Returns true when the
// whole file has been written. On failure there is no new file at `path` (an older one stays
// as it was): the work areas cannot be allocated ("DLL : Insufficient memory" notice), the
// file cannot be created or put in place (the "Creating error" notice with the path), or a
// write fails (no notice; the disk is full).
bool WriteDownloadFile(uint16_t systemId, const uint8_t* packed, const uint8_t* eeprom,
                       const std::string& path);

}  // namespace codec
