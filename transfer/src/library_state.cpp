#include "library_state.h"

namespace transfer {

codec::ImageStores& Stores() {
  static codec::ImageStores stores;
  return stores;
}

}  // namespace transfer
