// The receiver's bulk driver backend under Wine, which has no such driver: enumeration and the
// notice window find nothing and stop, and a session's files, overlapped bulk requests,
// cancellation and completions run against named pipes standing in for the driver's files (a
// pipe file's name, "<device>\INTERFACE_0x00\PIPE_0x<i>", is a valid pipe name).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "bulk_driver_backend.hpp"

namespace {

using namespace std::chrono_literals;
using pw::usb::Direction;
using pw::usb::Request;
using pw::usb::Status;

struct CountingSink final : pw::usb::BackendSink {
  void DeviceArrived(const std::string&) override { ++calls; }
  void DeviceRemoved(const std::string&) override { ++calls; }
  int calls = 0;
};

// The server end of a pipe file: one instance, overlapped.
HANDLE Serve(const std::string& name) {
  return ::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0,
                            nullptr);
}

// Moves bytes on a server end and waits for the outcome (bounded by the pipe, which has the
// bytes or takes them at once).
DWORD ServerTransfer(HANDLE pipe, bool write, void* bytes, DWORD length) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const BOOL ok = write ? ::WriteFile(pipe, bytes, length, nullptr, &overlapped)
                        : ::ReadFile(pipe, bytes, length, nullptr, &overlapped);
  DWORD done = 0;
  if (ok || ::GetLastError() == ERROR_IO_PENDING) {
    if (::WaitForSingleObject(overlapped.hEvent, 5000) == WAIT_OBJECT_0) {
      ::GetOverlappedResult(pipe, &overlapped, &done, FALSE);
    } else {
      ::CancelIoEx(pipe, &overlapped);
      ::GetOverlappedResult(pipe, &overlapped, &done, TRUE);
    }
  }
  ::CloseHandle(overlapped.hEvent);
  return done;
}

std::shared_ptr<Request> Bulk(Direction direction, uint8_t endpoint, std::string bytes) {
  auto request = std::make_shared<Request>(direction, endpoint, bytes.size());
  std::copy(bytes.begin(), bytes.end(), request->MutableOutData().begin());
  return request;
}

std::string Received(const Request& request) {
  const auto data = request.Received();
  return std::string(data.begin(), data.end());
}

TEST(Win32BulkDriver, WithoutTheDriverNothingIsFoundAndNoticesStop) {
  auto backend = pw::usb::bulk::MakeBulkDriverBackend();
  EXPECT_TRUE(
      backend->Owns("\\\\?\\usb#vid_1234&pid_5678#1#{fd8f99a2-0278-4e06-9ab6-80497c4c99c5}"));
  EXPECT_FALSE(backend->Owns("usbip:127.0.0.1:3240/1-1"));
  CountingSink sink;
  backend->Start(&sink);
  EXPECT_TRUE(backend->Enumerate().empty());
  backend->Stop();  // joins the notice window's thread
  EXPECT_EQ(sink.calls, 0);

  Status status = Status::Success;
  std::string message;
  EXPECT_EQ(backend->Open("\\\\.\\pipe\\penwick-no-such-device", &status, &message), nullptr);
  EXPECT_EQ(status, Status::NotFound);
  EXPECT_NE(message.find("penwick-no-such-device"), std::string::npos) << message;
}

TEST(Win32BulkDriver, SessionRequestsOnPipeFiles) {
  const std::string device = "\\\\.\\pipe\\penwick-bulk-" + std::to_string(::GetCurrentProcessId());
  HANDLE deviceEnd = Serve(device);
  HANDLE outEnd = Serve(device + "\\INTERFACE_0x00\\PIPE_0x00");
  HANDLE inEnd = Serve(device + "\\INTERFACE_0x00\\PIPE_0x01");
  ASSERT_NE(deviceEnd, INVALID_HANDLE_VALUE);
  ASSERT_NE(outEnd, INVALID_HANDLE_VALUE);
  ASSERT_NE(inEnd, INVALID_HANDLE_VALUE);

  auto backend = pw::usb::bulk::MakeBulkDriverBackend();
  Status status = Status::IoError;
  std::string message;
  auto session = backend->Open(device, &status, &message);
  ASSERT_NE(session, nullptr) << message;

  // A pipe file is no driver: its control requests are refused at once, not waited out.
  std::vector<uint8_t> descriptor(18);
  size_t got = 99;
  status = session->Control({0x80, 6, 0, 1, 0, 0, 18, 0}, descriptor, &got, 5000ms);
  EXPECT_NE(status, Status::Success);
  EXPECT_NE(status, Status::Timeout);
  EXPECT_EQ(got, 0u);
  uint32_t version = 0;
  EXPECT_TRUE(session->DriverRequest(pw::usb::kIoctlGetDriverVersion, {},
                                     {reinterpret_cast<uint8_t*>(&version), 4}, &got, &status));
  EXPECT_NE(status, Status::Success);

  const pw::usb::EndpointInfo out{0x01, 64, 2}, in{0x82, 64, 2}, missing{0x83, 64, 2};
  ASSERT_EQ(session->OpenPipe(0, out), Status::Success);
  ASSERT_EQ(session->OpenPipe(1, in), Status::Success);
  EXPECT_EQ(session->OpenPipe(2, missing), Status::NotFound);

  // A read pends until the device answers, and takes what it sent.
  auto read = Bulk(Direction::In, 0x82, std::string(64, '\0'));
  session->Submit(read);
  EXPECT_FALSE(read->Wait(50ms));
  char answer[] = "HaVo";
  ASSERT_EQ(ServerTransfer(inEnd, true, answer, 4), 4u);
  ASSERT_TRUE(read->Wait(5000ms));
  EXPECT_EQ(read->status(), Status::Success);
  EXPECT_EQ(Received(*read), "HaVo");

  // A write is taken whole.
  auto write = Bulk(Direction::Out, 0x01, "frame-bytes");
  session->Submit(write);
  char taken[32] = {};
  EXPECT_EQ(ServerTransfer(outEnd, false, taken, sizeof taken), 11u);
  ASSERT_TRUE(write->Wait(5000ms));
  EXPECT_EQ(write->status(), Status::Success);
  EXPECT_EQ(write->Transferred(), 11u);
  EXPECT_EQ(std::string(taken), "frame-bytes");

  // A cancelled read ends as cancelled; a request for an endpoint without a pipe is refused.
  auto cancelled = Bulk(Direction::In, 0x82, std::string(64, '\0'));
  session->Submit(cancelled);
  session->Cancel(cancelled);
  ASSERT_TRUE(cancelled->Wait(5000ms));
  EXPECT_EQ(cancelled->status(), Status::Cancelled);
  auto nowhere = Bulk(Direction::In, 0x83, std::string(8, '\0'));
  session->Submit(nowhere);
  EXPECT_TRUE(nowhere->Done());
  EXPECT_EQ(nowhere->status(), Status::NotFound);

  // The far end going away ends a pending read with a failure.
  auto orphan = Bulk(Direction::In, 0x82, std::string(64, '\0'));
  session->Submit(orphan);
  ::DisconnectNamedPipe(inEnd);
  ASSERT_TRUE(orphan->Wait(5000ms));
  EXPECT_NE(orphan->status(), Status::Success);

  // A closed pipe takes no more requests; the session's end cancels what is still in flight.
  session->ClosePipe(1, in);
  auto late = Bulk(Direction::In, 0x82, std::string(8, '\0'));
  session->Submit(late);
  EXPECT_EQ(late->status(), Status::NotFound);
  auto pending = Bulk(Direction::Out, 0x01, std::string(8000, 'x'));  // more than the pipe holds
  session->Submit(pending);
  session.reset();
  ASSERT_TRUE(pending->Done());
  EXPECT_NE(pending->status(), Status::Success);

  ::CloseHandle(inEnd);
  ::CloseHandle(outEnd);
  ::CloseHandle(deviceEnd);
}

}  // namespace
