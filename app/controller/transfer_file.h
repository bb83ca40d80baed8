// Reading a transfer file (64-byte header, packed image, EEPROM image) and the checks that
// decide whether its images may be sent to a receiver.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace app {

class Libraries;

struct TransferFileRead {
  bool opened = false;
  int openError = 0;       // errno when the file could not be opened
  size_t packedBytes = 0;  // bytes read into the packed image
  size_t eepromBytes = 0;  // bytes read into the EEPROM image
  int64_t fileSize = -1;   // size of a regular file, else -1
};

// Clears `packed` (codec::kContainerSize bytes) and `eeprom` (codec::kEepromSize bytes, or
// null for none), skips `offset` bytes and reads up to a whole image into each, in that order.
// Reads no more than that of the file; the bytes read go through ReadImageBytes.
TransferFileRead ReadImages(const std::string& path, size_t offset, uint8_t* packed,
                            uint8_t* eeprom);
// A transfer file: its header skipped.
TransferFileRead ReadTransferFile(const std::string& path, uint8_t* packed, uint8_t* eeprom);
// The same over a file's first bytes (fileSize is their count).
TransferFileRead ReadImageBytes(std::span<const uint8_t> bytes, size_t offset, uint8_t* packed,
                                uint8_t* eeprom);

enum class TransferFileProblem {
  None,
  Incomplete,     // shorter than header + packed image + EEPROM image
  SavedByUpload,  // exactly packed image + EEPROM image: a file an upload saved (no header)
  Damaged,        // the packed image fails the unpack's checks
};

// Whether the images read may be sent. The packed image is unpacked on a copy (`scratch`,
// codec::kContainerSize bytes, and `region`, codec::kRegionSize bytes, are overwritten); the
// library's identity store is put back as it was, so the check leaves the library as it found it.
TransferFileProblem CheckTransferImages(const TransferFileRead& read, const uint8_t* packed,
                                        Libraries& libraries, uint8_t* scratch, uint8_t* region);

}  // namespace app
