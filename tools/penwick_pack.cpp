// penwick-pack: packs a settings flash region into a packed image and back, through
// libNorraLink's public API, writes realistic sample regions, builds transfer files for
// PenwickUpload (refusing an image PenwickUpload would refuse) and says what an image file is.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "NorraLink.h"
#include "image_files.h"
#include "penwick/console_kit/exit_codes.hpp"
#include "sample_region.h"

namespace {

using namespace penwick_pack;
using namespace pw::cli;

constexpr int kPackExitCodes[] = {kExitOk, kExitTransferFailed, kExitUsage, kExitBadTransferFile,
                                  kExitSaveFailed};

const char kUsage[] =
    "Usage: penwick-pack sample OUT.upk [SEED]\n"
    "  or:  penwick-pack pack IN.upk OUT.pak [SYSTEM_ID]\n"
    "  or:  penwick-pack unpack IN.pak OUT.upk\n"
    "  or:  penwick-pack transfer PACKED.pak EEPROM.bin OUT\n"
    "  or:  penwick-pack transfer SAVED OUT\n"
    "  or:  penwick-pack info FILE [--json]\n"
    "  or:  penwick-pack --help | --version\n";

const char kDescription[] =
    "Packs a receiver's settings flash region (393216 bytes) into a packed image (131072\n"
    "bytes) and back, and builds the transfer files PenwickUpload sends.\n"
    "  sample    writes a realistic flash region; SEED (default 1, 0 to 4294967295) picks it\n"
    "  pack      packs a flash region; SYSTEM_ID (default 0, 0 to 65535, decimal or 0x hex)\n"
    "            goes into the image's model id\n"
    "  unpack    unpacks a packed image into the flash region\n"
    "  transfer  writes a transfer file (a 64-byte header of zeros, the packed image, the\n"
    "            256-byte EEPROM image) from the two images or from a file a USB upload saved\n"
    "            (packed image and EEPROM image); an image that does not unpack is refused\n"
    "  info      says what FILE is (transfer file, saved upload or packed image, by size), its\n"
    "            system id and model id, the sizes of its images and whether its packed image\n"
    "            unpacks; --json prints one JSON object instead\n";

int Usage(const std::string& problem = {}) {
  if (!problem.empty()) std::fprintf(stderr, "penwick-pack: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

int Help() {
  std::printf("%s%s\nExit status:\n%s", kUsage, kDescription, ExitCodeHelp(kPackExitCodes).c_str());
  return kExitOk;
}

// The whole file, or a line on stderr.
bool ReadAll(const char* path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "penwick-pack: cannot open %s: %s\n", path, std::strerror(errno));
    return false;
  }
  out.assign(std::istreambuf_iterator<char>(in), {});
  return true;
}

// Reads a file that must be exactly `size` bytes long.
bool ReadExactly(const char* path, size_t size, std::vector<uint8_t>& out) {
  if (!ReadAll(path, out)) return false;
  if (out.size() != size) {
    std::fprintf(stderr, "penwick-pack: %s holds %zu bytes, expected %zu\n", path, out.size(),
                 size);
    return false;
  }
  return true;
}

int Write(const char* path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "penwick-pack: cannot write %s\n", path);
    return kExitSaveFailed;
  }
  return kExitOk;
}

// A whole number from 0 to `max`, decimal or 0x hex; a usage error names the value.
bool ParseNumber(const char* name, const char* text, unsigned long max, unsigned long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoul(text, &end, 0);
  if (errno == 0 && end != text && *end == '\0' && *text != '-' && value <= max) return true;
  Usage(std::string(name) + " '" + text + "' is not a number from 0 to " + std::to_string(max));
  return false;
}

// The library packs with the identity of the image it unpacked last. A fresh process has
// none, so give it one: unpacking an image without blocks that carries the identity block
// (system id, valid check byte) fills the identity store; the walk's result does not matter.
void UseIdentity(uint16_t systemId) {
  std::vector<uint8_t> image(kContainerSize, 0);
  image[5] = static_cast<uint8_t>(systemId >> 8);
  image[6] = static_cast<uint8_t>(systemId);
  image[3] = ModelIdCheckByte(image.data());
  std::vector<uint8_t> scratch(kRegionSize);
  Dll_UnPackFlashData(image.data(), scratch.data());
}

// A packed image PenwickUpload would refuse: a line on stderr.
bool Unpacks(const char* path, const uint8_t* image) {
  const std::string problem = ImageProblem(image);
  if (problem.empty()) return true;
  std::fprintf(stderr, "penwick-pack: the packed image of %s does not unpack: %s\n", path,
               problem.c_str());
  return false;
}

int Sample(int argc, char** argv) {
  if (argc < 3 || argc > 4) return Usage();
  unsigned long seed = 1;
  if (argc == 4 && !ParseNumber("SEED", argv[3], 0xFFFFFFFFul, seed)) return kExitUsage;
  return Write(argv[2], samples::MakePackableSampleRegion(static_cast<uint32_t>(seed)));
}

int Pack(int argc, char** argv) {
  if (argc < 4 || argc > 5) return Usage();
  unsigned long systemId = 0;
  if (argc == 5 && !ParseNumber("SYSTEM_ID", argv[4], 0xFFFF, systemId)) return kExitUsage;
  std::vector<uint8_t> region;
  if (!ReadExactly(argv[2], kRegionSize, region)) return kExitBadTransferFile;
  UseIdentity(static_cast<uint16_t>(systemId));
  std::vector<uint8_t> image(kContainerSize, 0);
  if (Dll_PackFlashData(region.data(), image.data()) != 1) {
    std::fprintf(stderr,
                 "penwick-pack: %s cannot be packed into a %zu-byte image (a block does not "
                 "compress to 8192 bytes or the packed blocks do not fit)\n",
                 argv[2], kContainerSize);
    return kExitTransferFailed;
  }
  return Write(argv[3], image);
}

int Unpack(int argc, char** argv) {
  if (argc != 4) return Usage();
  std::vector<uint8_t> image;
  if (!ReadExactly(argv[2], kContainerSize, image)) return kExitBadTransferFile;
  if (!Unpacks(argv[2], image.data())) return kExitBadTransferFile;
  std::vector<uint8_t> region(kRegionSize, 0xFF);
  Dll_UnPackFlashData(image.data(), region.data());
  return Write(argv[3], region);
}

// A transfer file as the settings editor hands it over: a 64-byte header of zeros, the packed
// image, the EEPROM image. From the two images, or from a file an upload saved (the packed
// image then the EEPROM image, no header).
int Transfer(int argc, char** argv) {
  std::vector<uint8_t> images;
  if (argc == 4) {
    if (!ReadExactly(argv[2], kContainerSize + kEepromSize, images)) return kExitBadTransferFile;
  } else if (argc == 5) {
    std::vector<uint8_t> eeprom;
    if (!ReadExactly(argv[2], kContainerSize, images) || !ReadExactly(argv[3], kEepromSize, eeprom))
      return kExitBadTransferFile;
    images.insert(images.end(), eeprom.begin(), eeprom.end());
  } else {
    return Usage();
  }
  if (!Unpacks(argv[2], images.data())) return kExitBadTransferFile;
  std::vector<uint8_t> file(kTransferHeaderSize, 0);
  file.insert(file.end(), images.begin(), images.end());
  return Write(argv[argc - 1], file);
}

int Info(int argc, char** argv) {
  std::vector<std::string_view> operands;
  bool json = false;
  for (int i = 2; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--json") {
      json = true;
    } else {
      operands.push_back(argv[i]);
    }
  }
  if (operands.size() != 1) return Usage("info takes one FILE");
  const std::string path(operands.front());
  std::vector<uint8_t> bytes;
  FileReport report;
  if (!ReadAll(path.c_str(), bytes)) {
    report.path = path;
    report.problem = std::string("cannot open: ") + std::strerror(errno);
  } else {
    report = Describe(path, bytes);
  }
  const int status = report.problem.empty() ? kExitOk : kExitBadTransferFile;
  const std::string text = json ? ReportJson(report, status) : ReportText(report);
  std::fputs(text.c_str(), stdout);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "--help" || command == "-h") return Help();
  if (command == "--version") {
    std::printf("penwick-pack %s\n", PENWICK_VERSION);
    return kExitOk;
  }
  if (command == "sample") return Sample(argc, argv);
  if (command == "pack") return Pack(argc, argv);
  if (command == "unpack") return Unpack(argc, argv);
  if (command == "transfer") return Transfer(argc, argv);
  if (command == "info") return Info(argc, argv);
  return Usage("unknown command " + command);
}
