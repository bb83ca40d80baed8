// Parser and player of bulk scripts.
#include "bulk_script.h"

#include <algorithm>
#include <cctype>

namespace sim::usbip {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Takes the first word off `s`.
std::string_view NextWord(std::string_view& s) {
  s = Trim(s);
  size_t n = 0;
  while (n < s.size() && !std::isspace(static_cast<unsigned char>(s[n]))) ++n;
  const std::string_view word = s.substr(0, n);
  s.remove_prefix(n);
  return word;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hex pairs (spaces anywhere between pairs) and "quoted text".
bool ParseBytes(std::string_view s, std::vector<uint8_t>* out, std::string* error) {
  out->clear();
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '"') {
      const size_t end = s.find('"', i + 1);
      if (end == std::string_view::npos) {
        *error = "unterminated quoted text";
        return false;
      }
      out->insert(out->end(), s.begin() + static_cast<ptrdiff_t>(i) + 1,
                  s.begin() + static_cast<ptrdiff_t>(end));
      i = end + 1;
    } else {
      const int high = HexValue(c);
      const int low = i + 1 < s.size() ? HexValue(s[i + 1]) : -1;
      if (high < 0 || low < 0) {
        *error = "expected hex byte pairs or \"text\" in '" + std::string(s) + "'";
        return false;
      }
      out->push_back(static_cast<uint8_t>(high << 4 | low));
      i += 2;
    }
  }
  return true;
}

bool ParseAction(std::string_view text, ScriptAction* action, std::string* error) {
  std::string_view rest = text;
  const std::string_view word = NextWord(rest);
  rest = Trim(rest);
  using Kind = ScriptAction::Kind;
  if (word == "read") {
    action->kind = Kind::kRead;
    if (!ParseBytes(rest, &action->bytes, error)) return false;
    if (action->bytes.empty()) {
      *error = "'read' needs bytes (use 'zero' for a zero-length answer)";
      return false;
    }
    return true;
  }
  const Kind kind = word == "zero" ? Kind::kZero : word == "echo" ? Kind::kEcho : Kind::kSilent;
  if ((kind == Kind::kSilent && word != "silent") || !rest.empty()) {
    *error = "unknown action '" + std::string(Trim(text)) + "'";
    return false;
  }
  action->kind = kind;
  return true;
}

}  // namespace

std::optional<ScriptRule> ParseScriptLine(std::string_view line, std::string* error) {
  error->clear();
  line = Trim(line);
  if (line.empty() || line.front() == '#') return std::nullopt;
  const size_t arrow = line.find("=>");
  if (arrow == std::string_view::npos) {
    *error = "expected 'write <bytes> => <action>'";
    return std::nullopt;
  }
  ScriptRule rule;
  std::string_view left = line.substr(0, arrow);
  std::string_view word = NextWord(left);
  if (word == "once") {
    rule.once = true;
    word = NextWord(left);
  }
  if (word != "write") {
    *error = "a rule starts with 'write' or 'once write'";
    return std::nullopt;
  }
  left = Trim(left);
  if (left == "*") {
    rule.any = true;
  } else if (!ParseBytes(left, &rule.prefix, error)) {
    return std::nullopt;
  } else if (rule.prefix.empty()) {
    *error = "'write' needs bytes or *";
    return std::nullopt;
  }
  std::string_view right = line.substr(arrow + 2);
  while (true) {
    const size_t comma = right.find(',');
    ScriptAction action;
    if (!ParseAction(right.substr(0, comma), &action, error)) return std::nullopt;
    rule.actions.push_back(std::move(action));
    if (comma == std::string_view::npos) break;
    right.remove_prefix(comma + 1);
  }
  return rule;
}

bool ParseScript(std::string_view text, std::vector<ScriptRule>* rules, std::string* error) {
  int number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    std::string lineError;
    auto rule = ParseScriptLine(line, &lineError);
    if (!lineError.empty()) {
      *error = "line " + std::to_string(number) + ": " + lineError;
      return false;
    }
    if (rule) rules->push_back(std::move(*rule));
  }
  return true;
}

void ScriptFunction::OnOut(std::span<const uint8_t> wire, BulkPort& port) {
  used_.resize(rules_.size(), false);
  for (size_t i = 0; i < rules_.size(); ++i) {
    const ScriptRule& rule = rules_[i];
    if (rule.once && used_[i]) continue;
    const bool match =
        rule.any || (wire.size() >= rule.prefix.size() &&
                     std::equal(rule.prefix.begin(), rule.prefix.end(), wire.begin()));
    if (!match) continue;
    used_[i] = true;
    for (const ScriptAction& action : rule.actions) {
      switch (action.kind) {
        case ScriptAction::Kind::kRead:
          port.SendIn(action.bytes);
          break;
        case ScriptAction::Kind::kZero:
          port.SendIn({});
          break;
        case ScriptAction::Kind::kEcho:
          port.SendIn(std::vector<uint8_t>(wire.begin(), wire.end()));
          break;
        case ScriptAction::Kind::kSilent:
          break;
      }
    }
    return;
  }
}

}  // namespace sim::usbip
