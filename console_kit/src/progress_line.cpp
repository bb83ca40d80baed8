// Live progress output: in-place redraws on terminals, de-duplicated plain lines elsewhere.
#include "penwick/console_kit/progress_line.hpp"

#include <algorithm>

namespace pw::cli {

std::string FormatBar(const std::string& label, int percent, int width) {
  percent = std::clamp(percent, 0, 100);
  const int filled = percent * width / 100;
  std::string text = label;
  text += " [";
  text.append(static_cast<size_t>(filled), '#');
  text.append(static_cast<size_t>(width - filled), '.');
  char tail[16];
  std::snprintf(tail, sizeof tail, "] %3d %%", percent);
  return text + tail;
}

ProgressLine::ProgressLine(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

ProgressLine::~ProgressLine() {
  Finish();
}

void ProgressLine::Bar(const std::string& label, int percent) {
  ShowLive(FormatBar(label, percent));
}

void ProgressLine::Status(const std::string& text) {
  ShowLive(text);
}

void ProgressLine::Line(const std::string& text) {
  std::lock_guard lock(mutex_);
  EndLive();
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void ProgressLine::Finish() {
  std::lock_guard lock(mutex_);
  EndLive();
}

void ProgressLine::Clear() {
  std::lock_guard lock(mutex_);
  if (live_) {
    std::fputs("\r\x1b[K", out_);
    std::fflush(out_);
  }
  live_ = false;
  lastPlain_.clear();
}

void ProgressLine::ShowLive(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (terminal_) {
    std::fprintf(out_, "\r%s\x1b[K", text.c_str());
    live_ = true;
  } else {
    if (text == lastPlain_) return;
    lastPlain_ = text;
    std::fprintf(out_, "%s\n", text.c_str());
  }
  std::fflush(out_);
}

void ProgressLine::EndLive() {
  if (live_) std::fputc('\n', out_);
  live_ = false;
  lastPlain_.clear();
}

}  // namespace pw::cli
