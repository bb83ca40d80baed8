// Transfers of a local device. Closing cancels what is in flight and waits (bounded) for the
// callbacks before the handle goes: libusb must not close a handle with transfers pending.
#include "libusb_session.hpp"

#include <cstring>
#include <vector>

#include "libusb_backend.hpp"

namespace pw::usb {

using namespace std::chrono_literals;

struct LibusbSession::State {
  libusb_device_handle* handle = nullptr;
  int interfaceNumber = 0;
  std::mutex mutex;
  std::condition_variable drained;
  std::set<libusb_transfer*> inFlight;
  std::map<libusb_transfer*, RequestPtr> requests;
};

namespace {

struct TransferContext {
  std::shared_ptr<LibusbSession::State> state;
  RequestPtr request;
  std::vector<uint8_t> buffer;
};

void LIBUSB_CALL OnTransferDone(libusb_transfer* transfer) {
  auto* context = static_cast<TransferContext*>(transfer->user_data);
  const Status status = StatusFromTransferStatus(transfer->status);
  const size_t actual =
      transfer->actual_length > 0 ? static_cast<size_t>(transfer->actual_length) : 0;
  context->request->Complete(status, actual, context->buffer);
  {
    std::lock_guard lock(context->state->mutex);
    context->state->inFlight.erase(transfer);
    context->state->requests.erase(transfer);
    context->state->drained.notify_all();
  }
  libusb_free_transfer(transfer);
  delete context;
}

}  // namespace

LibusbSession::LibusbSession(libusb_device_handle* handle, int interfaceNumber)
    : state_(std::make_shared<State>()) {
  state_->handle = handle;
  state_->interfaceNumber = interfaceNumber;
}

LibusbSession::~LibusbSession() {
  std::unique_lock lock(state_->mutex);
  for (auto* transfer : state_->inFlight) libusb_cancel_transfer(transfer);
  const bool drained = state_->drained.wait_for(lock, 2s, [&] { return state_->inFlight.empty(); });
  lock.unlock();
  if (!drained) {
    // A transfer that never comes back keeps the handle: closing it would free what libusb
    // still uses. Its context keeps the state alive.
    return;
  }
  libusb_release_interface(state_->handle, state_->interfaceNumber);
  libusb_close(state_->handle);
}

Status LibusbSession::Control(const std::array<uint8_t, 8>& setup, std::span<uint8_t> data,
                              size_t* transferred, std::chrono::milliseconds timeout) {
  *transferred = 0;
  const uint16_t wValue = static_cast<uint16_t>(setup[2] | setup[3] << 8);
  const uint16_t wIndex = static_cast<uint16_t>(setup[4] | setup[5] << 8);
  const uint16_t wLength = static_cast<uint16_t>(setup[6] | setup[7] << 8);
  if (data.size() < wLength) return Status::InvalidParameter;
  const int result =
      libusb_control_transfer(state_->handle, setup[0], setup[1], wValue, wIndex, data.data(),
                              wLength, static_cast<unsigned>(timeout.count()));
  if (result < 0) return StatusFromLibusbError(result);
  *transferred = static_cast<size_t>(result);
  return Status::Success;
}

void LibusbSession::Submit(const RequestPtr& request) {
  if (request->length() > static_cast<size_t>(INT32_MAX)) {
    request->Complete(Status::InvalidParameter, 0);
    return;
  }
  libusb_transfer* transfer = libusb_alloc_transfer(0);
  if (!transfer) {
    request->Complete(Status::IoError, 0);
    return;
  }
  auto* context = new TransferContext{state_, request, {}};
  if (request->direction() == Direction::Out) {
    auto out = request->OutData();
    context->buffer.assign(out.begin(), out.end());
  } else {
    context->buffer.resize(request->length());
  }
  libusb_fill_bulk_transfer(transfer, state_->handle, request->endpoint(), context->buffer.data(),
                            static_cast<int>(context->buffer.size()), OnTransferDone, context, 0);
  {
    // Registered first: the callback may run on the event thread before submit returns.
    std::lock_guard lock(state_->mutex);
    state_->inFlight.insert(transfer);
    state_->requests[transfer] = request;
  }
  const int result = libusb_submit_transfer(transfer);
  if (result != LIBUSB_SUCCESS) {
    {
      std::lock_guard lock(state_->mutex);
      state_->inFlight.erase(transfer);
      state_->requests.erase(transfer);
    }
    request->Complete(StatusFromLibusbError(result), 0);
    libusb_free_transfer(transfer);
    delete context;
  }
}

void LibusbSession::Cancel(const RequestPtr& request) {
  std::lock_guard lock(state_->mutex);
  for (auto& [transfer, pending] : state_->requests) {
    if (pending == request) libusb_cancel_transfer(transfer);
  }
}

}  // namespace pw::usb
