// One line typed at the terminal (standard input), for the answers to message boxes.
#pragma once

#include <string>

namespace app {

// The line without its end; false at the end of input or when a stop is requested meanwhile.
bool ReadTerminalLine(std::string* line);

}  // namespace app
