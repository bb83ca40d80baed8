// The expander of coded chunks the download check uses: the codec's -lh5- chunk decoder.
#pragma once

#include "download_check.h"

namespace sim {

// Empty while the codec has no decoder: coded chunks are then reported as not expanded.
ChunkExpander CodecExpander();

}  // namespace sim
