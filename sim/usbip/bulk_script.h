// Scripted bulk behaviour for pipe tests and benchmarks: "after a write of these bytes, answer
// these reads". One rule per line:
//
//   [once] write <bytes>|* => <action>[, <action>...]
//
// <bytes> are hex pairs and "quoted text" in any mix ("HaVo" 00 01); a write matches when it
// starts with them (the host pads writes to whole packets). Actions: `read <bytes>` queues one
// IN transfer, `zero` a zero-length one, `echo` sends the write back, `silent` answers
// nothing. The first matching rule wins; a `once` rule is used up by its match. A write that
// no rule matches gets no answer. Blank lines and lines starting with # are ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bulk_function.h"

namespace sim::usbip {

struct ScriptAction {
  enum class Kind { kRead, kZero, kEcho, kSilent } kind = Kind::kSilent;
  std::vector<uint8_t> bytes;  // kRead
};

struct ScriptRule {
  bool once = false;
  bool any = false;             // `write *`
  std::vector<uint8_t> prefix;  // otherwise the write must start with this
  std::vector<ScriptAction> actions;
};

// Parses one rule line; nothing for a blank or comment line. On a syntax error returns
// nothing and sets *error.
std::optional<ScriptRule> ParseScriptLine(std::string_view line, std::string* error);

// Parses a whole script; on error names the line ("line 3: ...").
bool ParseScript(std::string_view text, std::vector<ScriptRule>* rules, std::string* error);

class ScriptFunction : public BulkFunction {
 public:
  explicit ScriptFunction(std::vector<ScriptRule> rules) : rules_(std::move(rules)) {}

  void OnOut(std::span<const uint8_t> wire, BulkPort& port) override;

 private:
  std::vector<ScriptRule> rules_;
  std::vector<bool> used_;  // per rule, for `once`
};

}  // namespace sim::usbip
