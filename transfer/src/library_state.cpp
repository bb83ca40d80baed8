// The library's state, created on first use together with the codec's hooks.
#include "library_state.h"

#include "notifications.h"

namespace transfer {
namespace {

struct LibraryState {
  LibraryState() { InstallCodecHooks(); }
  codec::ImageStores stores;
};

}  // namespace

codec::ImageStores& Stores() {
  static LibraryState state;
  return state.stores;
}

}  // namespace transfer
