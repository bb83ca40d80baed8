// The process-wide session state.
#include "session_state.h"

#include <utility>

#include "penwick/local_file.hpp"

namespace transfer {
namespace {

std::atomic<int64_t> g_answerWaitMs{3000};

}  // namespace

uint32_t SessionState::Acquire(Link link) {
  const uint32_t generation = (generation_.fetch_add(1) + 1) & 0x3FFFFFFFu;
  const uint32_t token = (generation << 2) | static_cast<uint32_t>(link);
  uint32_t idle = 0;
  if (!busy_.compare_exchange_strong(idle, token)) return 0;
  latest_.store(token);
  return token;
}

void SessionState::Release(uint32_t token) {
  uint32_t expected = token;
  busy_.compare_exchange_strong(expected, 0);
}

bool SessionState::ReleaseLink(Link link) {
  uint32_t current = busy_.load();
  while (current != 0 && (current & 3u) == static_cast<uint32_t>(link)) {
    if (busy_.compare_exchange_weak(current, 0)) return true;
  }
  return false;
}

void SessionState::SetFolder(std::string folder) {
  std::lock_guard lock(mutex_);
  folder_ = std::move(folder);
}

std::string SessionState::Folder() const {
  std::lock_guard lock(mutex_);
  return folder_;
}

void SessionState::SetDownloadFilePath(std::string path) {
  std::lock_guard lock(mutex_);
  downloadFilePath_ = std::move(path);
}

std::string SessionState::DownloadFilePath() const {
  std::lock_guard lock(mutex_);
  return downloadFilePath_;
}

SessionState& Session() {
  static auto* state = new SessionState;
  return *state;
}

std::string DownloadFilePathIn(const std::string& folder) {
  return pw::files::PathIn(folder, kDownloadFileName);
}

std::chrono::milliseconds AnswerWait() {
  return std::chrono::milliseconds(g_answerWaitMs.load());
}

void SetAnswerWait(std::chrono::milliseconds wait) {
  g_answerWaitMs.store(wait.count());
}

}  // namespace transfer
