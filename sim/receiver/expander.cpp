#include "expander.h"

namespace sim {

ChunkExpander CodecExpander() {
  return {};
}

}  // namespace sim
