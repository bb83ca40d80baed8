#include "library_state.h"

namespace transfer {

codec::ImageStores& Stores() {
  // Never destroyed: a worker still running while the process exits keeps using it.
  static auto* stores = new codec::ImageStores;
  return *stores;
}

}  // namespace transfer
