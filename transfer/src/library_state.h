// The library's single instances.
#pragma once

#include "image_stores.h"

namespace transfer {

codec::ImageStores& Stores();

}  // namespace transfer
