// The library's single instances. Every export that reaches the codec goes through Stores(),
// so creating them is where the codec's hooks are installed.
#pragma once

#include "image_stores.h"

namespace transfer {

codec::ImageStores& Stores();

}  // namespace transfer
