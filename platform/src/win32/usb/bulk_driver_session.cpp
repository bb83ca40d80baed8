// One receiver session on the bulk driver. Every wait is bounded: a control request by the
// caller's time-out, a cancelled request by a drain limit. A request the driver never ends
// keeps its memory (its OVERLAPPED and buffer), since the driver may still write into them.
#include "bulk_driver_session.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "bulk_driver_formats.hpp"

namespace pw::usb::bulk {

static_assert(ERROR_INVALID_FUNCTION == win32::kInvalidFunction);
static_assert(ERROR_FILE_NOT_FOUND == win32::kFileNotFound);
static_assert(ERROR_PATH_NOT_FOUND == win32::kPathNotFound);
static_assert(ERROR_ACCESS_DENIED == win32::kAccessDenied);
static_assert(ERROR_INVALID_HANDLE == win32::kInvalidHandle);
static_assert(ERROR_NOT_READY == win32::kNotReady);
static_assert(ERROR_BAD_COMMAND == win32::kBadCommand);
static_assert(ERROR_GEN_FAILURE == win32::kGenFailure);
static_assert(ERROR_SHARING_VIOLATION == win32::kSharingViolation);
static_assert(ERROR_NOT_SUPPORTED == win32::kNotSupported);
static_assert(ERROR_DEV_NOT_EXIST == win32::kDevNotExist);
static_assert(ERROR_INVALID_PARAMETER == win32::kInvalidParameter);
static_assert(ERROR_BROKEN_PIPE == win32::kBrokenPipe);
static_assert(ERROR_SEM_TIMEOUT == win32::kSemTimeout);
static_assert(ERROR_INSUFFICIENT_BUFFER == win32::kInsufficientBuffer);
static_assert(ERROR_BUSY == win32::kBusy);
static_assert(ERROR_MORE_DATA == win32::kMoreData);
// ERROR_NO_SUCH_DEVICE (433) is missing from mingw-w64's headers.
static_assert(ERROR_OPERATION_ABORTED == win32::kOperationAborted);
static_assert(ERROR_IO_PENDING == win32::kIoPending);
static_assert(ERROR_DEVICE_NOT_CONNECTED == win32::kDeviceNotConnected);
static_assert(ERROR_TIMEOUT == win32::kTimeout);

namespace {

using namespace std::chrono_literals;

constexpr ULONG_PTR kQuitKey = 1;
constexpr ULONG_PTR kPipeKey = 2;
// A cancelled request normally ends within milliseconds.
constexpr auto kCancelDrain = 1000ms;

DWORD WaitMilliseconds(std::chrono::milliseconds timeout) {
  const auto ms = timeout.count();
  if (ms <= 0) return 1;
  return ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
}

Status FailureStatus(DWORD error) {
  const Status status = StatusFromWin32Error(error);
  return status == Status::Success ? Status::IoError : status;
}

// One device I/O control in flight. The driver reads its input from and writes its output to
// the same buffer, which the call owns.
struct ControlCall {
  OVERLAPPED overlapped{};
  std::vector<uint8_t> buffer;
  ~ControlCall() {
    if (overlapped.hEvent != nullptr) ::CloseHandle(overlapped.hEvent);
  }
};

}  // namespace

std::string ErrorText(DWORD error) {
  char text[256] = {};
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, text, sizeof text, nullptr);
  std::string reason(text, n);
  while (!reason.empty() &&
         (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) {
    reason.pop_back();
  }
  if (reason.empty()) reason = "failed";
  return reason + " (Windows error " + std::to_string(error) + ")";
}

// One bulk request in flight on a pipe file.
struct Session::Operation {
  OVERLAPPED overlapped{};
  RequestPtr request;
  HANDLE pipe = INVALID_HANDLE_VALUE;
  std::vector<uint8_t> buffer;
  bool cancelled = false;  // Cancel came; guarded by the session's mutex
};

std::unique_ptr<Session> Session::Open(const std::string& path, Status* status,
                                       std::string* message) {
  HANDLE device =
      ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    *status = FailureStatus(error);
    *message = path + ": " + ErrorText(error);
    // The driver's files open for one user at a time.
    if (*status == Status::AccessDenied || *status == Status::Busy) {
      *message += "; is another program using the receiver?";
    }
    return nullptr;
  }
  HANDLE port = ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  if (port == nullptr) {
    *status = Status::IoError;
    *message = path + ": " + ErrorText(::GetLastError());
    ::CloseHandle(device);
    return nullptr;
  }
  return std::unique_ptr<Session>(new Session(path, device, port));
}

Session::Session(std::string path, HANDLE device, HANDLE port)
    : path_(std::move(path)), device_(device), port_(port) {
  completions_ = std::thread([this] { Completions(); });
}

Session::~Session() {
  std::map<uint8_t, HANDLE> pipes;
  {
    std::lock_guard lock(mutex_);
    pipes.swap(pipes_);
  }
  for (const auto& [endpoint, pipe] : pipes) ::CancelIoEx(pipe, nullptr);
  Drain(nullptr, kCancelDrain);
  for (const auto& [endpoint, pipe] : pipes) ::CloseHandle(pipe);
  Drain(nullptr, kCancelDrain);  // closing a file also ends what is in flight on it
  ::PostQueuedCompletionStatus(port_, 0, kQuitKey, nullptr);
  completions_.join();
  ::CloseHandle(device_);
  ::CloseHandle(port_);
}

Status Session::DeviceControl(uint32_t code, const void* in, size_t inSize, void* out,
                              size_t outSize, size_t* returned, std::chrono::milliseconds timeout) {
  if (returned) *returned = 0;
  if ((inSize != 0 && in == nullptr) || (outSize != 0 && out == nullptr)) {
    return Status::InvalidParameter;
  }
  auto call = std::make_unique<ControlCall>();
  call->overlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (call->overlapped.hEvent == nullptr) return Status::IoError;
  call->buffer.assign(std::max<size_t>({inSize, outSize, 1}), 0);
  if (inSize != 0) std::memcpy(call->buffer.data(), in, inSize);
  uint8_t* buffer = call->buffer.data();
  const BOOL ok = ::DeviceIoControl(device_, code, inSize != 0 ? buffer : nullptr,
                                    static_cast<DWORD>(inSize), outSize != 0 ? buffer : nullptr,
                                    static_cast<DWORD>(outSize), nullptr, &call->overlapped);
  const DWORD error = ok ? 0 : ::GetLastError();
  const Issue issue = IssueOutcome(ok != FALSE, error);
  if (issue == Issue::Refused) return FailureStatus(error);
  bool timedOut = false;
  if (issue == Issue::Pending &&
      ::WaitForSingleObject(call->overlapped.hEvent, WaitMilliseconds(timeout)) != WAIT_OBJECT_0) {
    timedOut = true;
    ::CancelIoEx(device_, &call->overlapped);
    if (::WaitForSingleObject(call->overlapped.hEvent, WaitMilliseconds(kCancelDrain)) !=
        WAIT_OBJECT_0) {
      call.release();  // still the driver's: its memory stays with it
      return Status::Timeout;
    }
  }
  DWORD bytes = 0;
  if (!::GetOverlappedResult(device_, &call->overlapped, &bytes, FALSE)) {
    const DWORD failure = ::GetLastError();
    return timedOut && failure == ERROR_OPERATION_ABORTED ? Status::Timeout
                                                          : FailureStatus(failure);
  }
  // The buffer as the driver left it (the caller's input where the driver wrote nothing).
  if (outSize != 0) std::memcpy(out, buffer, outSize);
  if (returned) *returned = std::min<size_t>(bytes, outSize);
  return Status::Success;
}

Status Session::Control(const std::array<uint8_t, 8>& setup, std::span<uint8_t> data,
                        size_t* transferred, std::chrono::milliseconds timeout) {
  if (transferred) *transferred = 0;
  const auto calls = ControlRequestCalls(setup);
  if (data.size() < calls[1].outSize) return Status::InvalidParameter;
  std::lock_guard lock(controlMutex_);
  std::array<uint8_t, 8> packet = setup;
  size_t got = 0;
  Status status = DeviceControl(calls[0].code, packet.data(), calls[0].inSize, packet.data(),
                                calls[0].outSize, &got, timeout);
  if (status != Status::Success) return status;
  status = DeviceControl(calls[1].code, data.data(), calls[1].inSize, data.data(), calls[1].outSize,
                         &got, timeout);
  if (status != Status::Success) return status;
  if (transferred) *transferred = ControlDataCount(static_cast<uint32_t>(got), calls[1].outSize);
  return Status::Success;
}

bool Session::DriverRequest(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                            size_t* returned, Status* status) {
  if (!PassedToDriver(code)) return false;
  size_t got = 0;
  *status =
      DeviceControl(code, in.data(), in.size(), out.data(), out.size(), &got, ControlTimeout());
  if (returned) *returned = got;
  return true;
}

Status Session::OpenPipe(unsigned pipe, const EndpointInfo& endpoint) {
  const std::string path = PipePath(path_, pipe);
  if (path.empty()) return Status::InvalidParameter;
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FailureStatus(::GetLastError());
  if (::CreateIoCompletionPort(file, port_, kPipeKey, 0) == nullptr) {
    ::CloseHandle(file);
    return Status::IoError;
  }
  std::lock_guard lock(mutex_);
  if (!pipes_.emplace(endpoint.address, file).second) {
    ::CloseHandle(file);
    return Status::Busy;
  }
  return Status::Success;
}

void Session::ClosePipe(unsigned /*pipe*/, const EndpointInfo& endpoint) {
  HANDLE file = INVALID_HANDLE_VALUE;
  {
    std::lock_guard lock(mutex_);
    auto found = pipes_.find(endpoint.address);
    if (found == pipes_.end()) return;
    file = found->second;
    pipes_.erase(found);
  }
  ::CancelIoEx(file, nullptr);
  Drain(file, kCancelDrain);
  ::CloseHandle(file);
}

void Session::Submit(const RequestPtr& request) {
  auto operation = std::make_unique<Operation>();
  operation->request = request;
  const bool in = request->direction() == Direction::In;
  // Never an empty buffer: a zero-length request still passes a valid address.
  operation->buffer.assign(std::max<size_t>(request->length(), 1), 0);
  if (!in && request->length() != 0) {
    std::memcpy(operation->buffer.data(), request->OutData().data(), request->length());
  }
  Operation* op = operation.get();
  {
    std::lock_guard lock(mutex_);
    auto found = pipes_.find(request->endpoint());
    if (found == pipes_.end()) {
      request->Complete(Status::NotFound, 0);
      return;
    }
    op->pipe = found->second;
    inFlight_.insert(op);
  }
  operation.release();  // from here on the completion (or the refusal below) frees it
  const DWORD length = static_cast<DWORD>(request->length());
  const BOOL ok = in ? ::ReadFile(op->pipe, op->buffer.data(), length, nullptr, &op->overlapped)
                     : ::WriteFile(op->pipe, op->buffer.data(), length, nullptr, &op->overlapped);
  const DWORD error = ok ? 0 : ::GetLastError();
  if (IssueOutcome(ok != FALSE, error) == Issue::Refused) {
    Finish(op, false, error, 0);  // no completion packet follows a refusal
    return;
  }
  // A Cancel that came before the request was issued had nothing to cancel yet.
  std::lock_guard lock(mutex_);
  if (inFlight_.count(op) != 0 && op->cancelled) ::CancelIoEx(op->pipe, &op->overlapped);
}

void Session::Cancel(const RequestPtr& request) {
  std::lock_guard lock(mutex_);
  for (Operation* op : inFlight_) {
    if (op->request != request) continue;
    op->cancelled = true;
    ::CancelIoEx(op->pipe, &op->overlapped);
  }
}

void Session::Finish(Operation* op, bool succeeded, DWORD error, DWORD bytes) {
  const Status status = succeeded ? Status::Success : FailureStatus(error);
  const size_t moved = std::min<size_t>(bytes, op->request->length());
  op->request->Complete(status, moved, std::span<const uint8_t>(op->buffer.data(), moved));
  {
    std::lock_guard lock(mutex_);
    inFlight_.erase(op);
  }
  finished_.notify_all();
  delete op;
}

void Session::Completions() {
  while (true) {
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* overlapped = nullptr;
    const BOOL ok = ::GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, INFINITE);
    const DWORD error = ok ? 0 : ::GetLastError();
    if (overlapped == nullptr) {
      if (!ok || key == kQuitKey) return;  // the end, or the port itself failed
      continue;
    }
    Operation* done = nullptr;
    {
      std::lock_guard lock(mutex_);
      for (Operation* op : inFlight_) {
        if (&op->overlapped == overlapped) {
          done = op;
          break;
        }
      }
    }
    if (done != nullptr) Finish(done, ok != FALSE, error, bytes);
  }
}

bool Session::Drain(HANDLE pipe, std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  return finished_.wait_for(lock, bound, [&] {
    return std::none_of(inFlight_.begin(), inFlight_.end(),
                        [&](const Operation* op) { return pipe == nullptr || op->pipe == pipe; });
  });
}

}  // namespace pw::usb::bulk
