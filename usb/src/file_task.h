// The file-transfer tasks: their process-wide state, the buffers their worker uses, and the
// two workers. One task runs at a time; the exported calls (task_calls.cpp) start it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "penwick/window.h"

namespace hvusb {

struct TaskState {
  std::atomic<bool> busy{false};           // from the accepted call until the worker's end
  std::atomic<uint16_t> percent{0};        // progress, read by UsbTaskGetPercent
  std::atomic<uint64_t> startPosition{0};  // byte position of a Posi call, 0 for none
  std::atomic<bool> checkedResume{false};  // a receive started by StartCheckedResume
};

TaskState& Tasks();

// The task packet buffer (kMaxPacketTransfer bytes), where data packets are assembled, and
// the receive buffer (kReceiveBufferSize bytes). Used by the running worker only; never
// released, so a worker still running while the process ends never touches freed memory.
uint8_t* TaskPacketBuffer();
uint8_t* TaskReceiveBuffer();

// percent = done x 100 / total in 64-bit arithmetic, kept to 16 bits.
void SetPercent(uint64_t done, uint64_t total);

// The task cancel flag (UsbTaskCancel, device removal).
bool CancelRequested();

// Fixed time-outs of the tasks, scaled like every USB time-out.
std::chrono::milliseconds TaskTimeout(std::chrono::milliseconds unscaled);
// Fuzzing switches. RunTasksInline: a task runs to its end on the thread that starts it,
// inside the start call. ZeroTaskTimeouts: TaskTimeout is zero, so a drain makes one read
// however fast reads end (the time-out scale stops at 1 ms, and a drain of 1 ms spins on reads
// for all of it). LibraryState::instantWaits makes every request's wait take no time as well.
void RunTasksInline(bool inlined);
bool TasksRunInline();
void ZeroTaskTimeouts(bool zero);

// Reads and discards what the receiver sends, each read waiting up to `readTimeoutMs`, until
// more than `duration` has passed (checked after each read). False as soon as the cancel flag
// is seen.
bool Drain(std::chrono::milliseconds duration, uint32_t readTimeoutMs);

// A resume that checks before it appends: like UsbTaskFileReceivePosi (also with position 0),
// but the bytes the receiver sends below the local file's end are compared with the file
// instead of written, and a difference ends the task (TaskFailure::kResumeMismatch) before
// anything is appended; a local file longer than the remote one is refused as well. Returns 1
// when the task was started.
int StartCheckedResume(const char* localPath, const char* remoteName, PwHwnd window,
                       uint32_t command, uint64_t position);

// The workers; true for success. `remote` is the receiver-side name.
bool RunSend(const std::string& remote, const std::string& local);
bool RunReceive(const std::string& local, const std::string& remote);

}  // namespace hvusb
