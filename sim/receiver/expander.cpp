// The coded-chunk expander of the download check: the codec's -lh5- chunk decoder.
#include "expander.h"

#include <memory>

#include "lh5_decoder.h"

namespace sim {

ChunkExpander CodecExpander() {
  auto decoder = std::make_shared<codec::Lh5Decoder>();  // about 22 KB: kept off the stack
  return [decoder](const uint8_t* data, size_t size, uint8_t* out, size_t rawSize) {
    return decoder->ExpandChunk(out, rawSize, data, size);
  };
}

}  // namespace sim
