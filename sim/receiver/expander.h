// The expander of coded chunks the download check uses: the codec's -lh5- chunk decoder.
#pragma once

#include "download_check.h"

namespace sim {

ChunkExpander CodecExpander();

}  // namespace sim
