// One JSON object on one line, for --json: string fields escaped so that any text (control
// characters, quotes, bytes that are not UTF-8) yields valid JSON.
#pragma once

#include <string>

namespace pw::cli {

class JsonLine {
 public:
  explicit JsonLine(const std::string& type);
  JsonLine& Add(const std::string& key, const std::string& value);
  JsonLine& Add(const std::string& key, const char* value) { return Add(key, std::string(value)); }
  JsonLine& Add(const std::string& key, long long value);
  JsonLine& Add(const std::string& key, int value) {
    return Add(key, static_cast<long long>(value));
  }
  JsonLine& Add(const std::string& key, bool value);
  // The object with its closing brace, without a newline.
  std::string Text() const { return text_ + "}"; }

 private:
  void Key(const std::string& key);
  std::string text_;
};

// `text` as a JSON string literal, quotes included. Bytes that do not form UTF-8 become U+FFFD.
std::string JsonString(const std::string& text);

}  // namespace pw::cli
