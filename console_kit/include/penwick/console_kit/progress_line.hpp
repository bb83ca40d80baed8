// One line of live output for long work. On a terminal a bar or status is redrawn in place
// ("\r", then the text, then "clear to end of line"); on a pipe or file each change becomes a
// plain line of its own, so logs stay readable. Permanent lines end the live one first.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace pw::cli {

class ProgressLine {
 public:
  // Writes to `out`; `terminal` selects in-place redrawing (normally isatty of `out`).
  ProgressLine(std::FILE* out, bool terminal);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // "label [##########..........]  50 %" with `percent` clamped to 0..100. On a pipe a line
  // is written only when the label or percent differs from the last bar written.
  void Bar(const std::string& label, int percent);
  // A transient status such as "Waiting for the receiver: 12 s". On a pipe a line is written
  // only when the text differs from the last status, so callers on pipes update sparingly.
  void Status(const std::string& text);
  // A permanent line: the live line is ended first.
  void Line(const std::string& text);
  // Ends the live line, if one is shown.
  void Finish();
  // Removes the live line instead of keeping it (a terminal's line is erased; on a pipe the
  // plain line already written stays). The next live text starts afresh.
  void Clear();

  bool terminal() const { return terminal_; }

 private:
  void ShowLive(const std::string& text);
  void EndLive();

  std::mutex mutex_;
  std::FILE* out_;
  bool terminal_;
  bool live_ = false;      // a redrawn line is on screen without its newline
  std::string lastPlain_;  // last live text written as a plain line (pipes)
};

// The bar text alone, for front ends that draw it themselves.
std::string FormatBar(const std::string& label, int percent, int width = 30);

}  // namespace pw::cli
