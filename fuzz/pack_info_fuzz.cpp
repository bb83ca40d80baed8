// Arbitrary bytes as the file `penwick-pack info` describes: the kind by size, the identity and
// the block table read from the packed image, the check by an unpack, and both reports. The
// report's kind is the one its size names, its identity is the file's bytes, and the JSON report
// is one line.
//
// Inputs of odd length are completed into a whole file: the first byte picks the kind (packed
// image, saved upload, transfer file), the rest is the start of its packed image (zero-padded),
// whose identity check byte is made right so that mutations reach the block table.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_target.h"
#include "image_files.h"
#include "kept_buffer.h"

namespace {

using namespace penwick_pack;

// The completed file of a kind is kept across inputs, one buffer per kind.
const std::vector<uint8_t>& FileOf(const uint8_t* data, size_t size) {
  static std::vector<uint8_t> plain;
  if (size % 2 == 0) {
    plain = std::vector<uint8_t>(data, data + size);  // exact capacity: no slack to read unseen
    return plain;
  }
  static fuzz::KeptBuffer files[] = {fuzz::KeptBuffer(kContainerSize),
                                     fuzz::KeptBuffer(codec::kSavedTransferFileSize),
                                     fuzz::KeptBuffer(codec::kTransferFileSize)};
  fuzz::KeptBuffer& file = files[data[0] % 3];
  const size_t image = &file == &files[2] ? kTransferHeaderSize : 0;
  // The identity's check byte is set after the copy.
  file.Fill(image, data + 1, std::min(size - 1, kContainerSize), image + kIdentitySize);
  file.data()[image + 3] = ModelIdCheckByte(file.data() + image);
  return file.bytes();
}

// Describes the input as the entry point reads it; aborts when a promise breaks.
FileReport Check(const uint8_t* data, size_t size) {
  const std::vector<uint8_t>& file = FileOf(data, size);
  const FileReport report = Describe("input", file);
  if (report.kind != KindOfSize(file.size())) std::abort();
  if (report.kind != FileKind::kUnknown) {
    const size_t image = report.kind == FileKind::kTransferFile ? kTransferHeaderSize : 0;
    if (!std::equal(report.modelId.begin(), report.modelId.end(), file.begin() + image))
      std::abort();
  }
  const std::string json = ReportJson(report, report.problem.empty() ? 0 : 4);
  if (json.find('\n') != json.size() - 1) std::abort();
  ReportText(report);
  return report;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Check(data, size);
  return 0;
}

// Refused: the file is of no known size, or its packed image does not unpack.
bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return !Check(data, size).problem.empty();
}
