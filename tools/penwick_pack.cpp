// penwick-pack: packs a settings flash region into a packed image and back, through
// libNorraLink's public API, and writes realistic sample regions.
//
//   penwick-pack sample OUT.upk [SEED]
//   penwick-pack pack IN.upk OUT.pak [SYSTEM_ID]
//   penwick-pack unpack IN.pak OUT.upk
//   penwick-pack transfer PACKED.pak EEPROM.bin OUT   (a transfer file for PenwickUpload)
//   penwick-pack transfer SAVED OUT                   (from a file a USB upload saved)
//
// Exit codes: 0 done, 1 the library refused (region cannot be packed, image damaged),
// 2 usage, 3 file error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "NorraLink.h"
#include "sample_region.h"

namespace {

constexpr size_t kRegionSize = 393216;
constexpr size_t kImageSize = 131072;
constexpr size_t kEepromSize = 256;
constexpr size_t kTransferHeaderSize = 64;
constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr int kFileError = 3;

int Usage() {
  std::fprintf(stderr,
               "usage: penwick-pack sample OUT.upk [SEED]\n"
               "       penwick-pack pack IN.upk OUT.pak [SYSTEM_ID]\n"
               "       penwick-pack unpack IN.pak OUT.upk\n"
               "       penwick-pack transfer PACKED.pak EEPROM.bin OUT\n"
               "       penwick-pack transfer SAVED OUT\n");
  return kUsage;
}

// Reads a file that must be exactly `size` bytes long.
bool ReadExactly(const char* path, size_t size, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "penwick-pack: cannot open %s: %s\n", path, std::strerror(errno));
    return false;
  }
  out.assign(std::istreambuf_iterator<char>(in), {});
  if (out.size() != size) {
    std::fprintf(stderr, "penwick-pack: %s holds %zu bytes, expected %zu\n", path, out.size(),
                 size);
    return false;
  }
  return true;
}

bool Write(const char* path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "penwick-pack: cannot write %s\n", path);
    return false;
  }
  return true;
}

bool ParseNumber(const char* text, unsigned long max, unsigned long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoul(text, &end, 0);
  return errno == 0 && end != text && *end == '\0' && value <= max;
}

// The library packs with the identity of the image it unpacked last. A fresh process has
// none, so give it one: unpacking an image without blocks that carries the identity block
// (system id, valid check byte) fills the identity store; the walk's result does not matter.
void UseIdentity(uint16_t systemId) {
  std::vector<uint8_t> image(kImageSize, 0);
  image[5] = static_cast<uint8_t>(systemId >> 8);
  image[6] = static_cast<uint8_t>(systemId);
  unsigned sum = 0;
  for (int i = 4; i < 32; ++i) sum += image[i];
  image[3] = static_cast<uint8_t>(~sum);
  std::vector<uint8_t> scratch(kRegionSize);
  Dll_UnPackFlashData(image.data(), scratch.data());
}

int Sample(int argc, char** argv) {
  unsigned long seed = 1;
  if (argc < 3 || argc > 4 || (argc == 4 && !ParseNumber(argv[3], 0xFFFFFFFFul, seed))) {
    return Usage();
  }
  const std::vector<uint8_t> region =
      samples::MakePackableSampleRegion(static_cast<uint32_t>(seed));
  return Write(argv[2], region) ? 0 : kFileError;
}

int Pack(int argc, char** argv) {
  unsigned long systemId = 0;
  if (argc < 4 || argc > 5 || (argc == 5 && !ParseNumber(argv[4], 0xFFFF, systemId))) {
    return Usage();
  }
  std::vector<uint8_t> region;
  if (!ReadExactly(argv[2], kRegionSize, region)) return kFileError;
  UseIdentity(static_cast<uint16_t>(systemId));
  std::vector<uint8_t> image(kImageSize, 0);
  if (Dll_PackFlashData(region.data(), image.data()) != 1) {
    std::fprintf(stderr,
                 "penwick-pack: %s cannot be packed into a %zu-byte image (a block does not "
                 "compress to 8192 bytes or the packed blocks do not fit)\n",
                 argv[2], kImageSize);
    return kRefused;
  }
  return Write(argv[3], image) ? 0 : kFileError;
}

int Unpack(int argc, char** argv) {
  if (argc != 4) return Usage();
  std::vector<uint8_t> image;
  if (!ReadExactly(argv[2], kImageSize, image)) return kFileError;
  std::vector<uint8_t> region(kRegionSize, 0xFF);
  if (Dll_UnPackFlashData(image.data(), region.data()) != 1) {
    std::fprintf(stderr,
                 "penwick-pack: %s is not a valid packed image (identity check or block "
                 "check failed)\n",
                 argv[2]);
    return kRefused;
  }
  return Write(argv[3], region) ? 0 : kFileError;
}

// A transfer file as the settings editor hands it over: a 64-byte header of zeros, the packed
// image, the EEPROM image. From the two images, or from a file an upload saved (the packed
// image then the EEPROM image, no header).
int Transfer(int argc, char** argv) {
  std::vector<uint8_t> images;
  if (argc == 4) {
    if (!ReadExactly(argv[2], kImageSize + kEepromSize, images)) return kFileError;
  } else if (argc == 5) {
    std::vector<uint8_t> eeprom;
    if (!ReadExactly(argv[2], kImageSize, images) || !ReadExactly(argv[3], kEepromSize, eeprom))
      return kFileError;
    images.insert(images.end(), eeprom.begin(), eeprom.end());
  } else {
    return Usage();
  }
  std::vector<uint8_t> file(kTransferHeaderSize, 0);
  file.insert(file.end(), images.begin(), images.end());
  return Write(argv[argc - 1], file) ? 0 : kFileError;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "sample") return Sample(argc, argv);
  if (command == "pack") return Pack(argc, argv);
  if (command == "unpack") return Unpack(argc, argv);
  if (command == "transfer") return Transfer(argc, argv);
  return Usage();
}
