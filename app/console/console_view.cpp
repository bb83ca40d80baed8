#include "console_view.h"

#include "box_prompt.h"
#include "controller.h"
#include "penwick/console_kit/exit_codes.hpp"
#include "penwick/console_kit/json_line.hpp"

namespace app {
namespace {

using pw::cli::JsonLine;

constexpr int kPipeWaitingStep = 10;  // seconds between waiting lines on a pipe

// The lines of an entry ("\r\n" inside an entry starts a new line).
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

ConsoleView::ConsoleView(std::FILE* human, bool humanIsTerminal, std::FILE* json,
                         bool askOnTerminal, bool verbose)
    : human_(human, humanIsTerminal),
      json_(json),
      askOnTerminal_(askOnTerminal),
      verbose_(verbose) {}

void ConsoleView::Line(const std::string& text) {
  if (waitingShown_) human_.Clear();
  waitingShown_ = false;
  human_.Line(text);
}

void ConsoleView::Json(const std::string& line) {
  if (json_ == nullptr) return;
  std::fprintf(json_, "%s\n", line.c_str());
  std::fflush(json_);
}

void ConsoleView::AppendMessage(const std::string& entry, EntryKind kind, const std::string&, int) {
  std::lock_guard lock(mutex_);
  Json(JsonLine("message").Add("text", entry).Text());
  // The entries are the service panel's; the bar shows progress; an empty entry shows nothing.
  if (!verbose_ || kind == EntryKind::Progress || entry.empty()) return;
  for (const std::string& line : Lines(entry)) Line(line);
}

void ConsoleView::SetStatusText(const std::string& text) {
  std::lock_guard lock(mutex_);
  Json(JsonLine("status").Add("text", text).Text());
  if (text == progressText_) return;  // the bar says it
  Line(text);
}

void ConsoleView::SetProgress(int percent, ProgressKind kind) {
  std::lock_guard lock(mutex_);
  JsonLine json("progress");
  json.Add("percent", percent);
  json.Add("direction", kind == ProgressKind::Download ? "write" : "read");
  if (kind != ProgressKind::Download)
    json.Add("image", kind == ProgressKind::UploadFlash ? "flash" : "eeprom");
  Json(json.Text());
  if (waitingShown_) human_.Clear();
  waitingShown_ = false;
  progressText_ = ProgressStatusText(kind, percent);
  human_.Bar(kind == ProgressKind::Download      ? "Writing"
             : kind == ProgressKind::UploadFlash ? "Reading flash"
                                                 : "Reading EEPROM",
             percent);
}

int ConsoleView::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
  return Answer(pw::MessageBoxRequest{nullptr, text, caption, type});
}

int ConsoleView::Answer(const pw::MessageBoxRequest& request) {
  std::lock_guard lock(mutex_);
  for (const std::string& line : Lines("[" + request.caption + "] " + request.text)) Line(line);
  int answer = pw::DefaultButton(request.type);
  if (OffersChoice(request.type)) {
    if (askOnTerminal_) {
      human_.Finish();
      answer = AskOnTerminal(request.type);
    } else {
      Line(std::string("(no terminal to ask: answered ") + AnswerName(answer) + ")");
    }
  }
  Json(JsonLine("box")
           .Add("caption", request.caption)
           .Add("text", request.text)
           .Add("answer", AnswerName(answer))
           .Text());
  return answer;
}

void ConsoleView::Waiting(std::chrono::seconds waited) {
  std::lock_guard lock(mutex_);
  const long long seconds = waited.count();
  if (!human_.terminal() && (seconds == 0 || seconds % kPipeWaitingStep != 0)) return;
  human_.Status("Waiting for the receiver: " + std::to_string(seconds) + " s");
  waitingShown_ = true;
}

void ConsoleView::Note(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (text.empty() || text == lastNote_) return;
  lastNote_ = text;
  Json(JsonLine("note").Add("text", text).Text());
  for (const std::string& line : Lines(text)) Line(line);
}

void ConsoleView::Result(const Outcome& outcome) {
  std::lock_guard lock(mutex_);
  const pw::cli::ExitCodeInfo info = pw::cli::DescribeExitCode(outcome.exitCode);
  Json(JsonLine("result")
           .Add("exit", outcome.exitCode)
           .Add("name", info.name)
           .Add("ok", outcome.ok())
           .Add("summary", outcome.summary)
           .Add("advice", outcome.advice)
           .Text());
  Line(ClosingLine(outcome));
}

}  // namespace app
