// The faults PENWICK_LOCAL_FILE_FAULT asks the local files to play (see local_file.hpp).
#pragma once

#include <string_view>

namespace pw::files {

// True when PENWICK_LOCAL_FILE_FAULT is `name`; read at each use so a test can change it.
bool LocalFileFaultRequested(std::string_view name);

}  // namespace pw::files
