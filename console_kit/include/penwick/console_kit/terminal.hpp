// Whether a standard stream is a terminal that a person reads or types at, as opposed to a
// pipe, a file or the null device.
#pragma once

#include <cstdio>

namespace pw::cli {

// Standard input or output attached to an interactive terminal (a console on Windows).
bool IsTerminal(std::FILE* stream);

// Whether live text can be redrawn in place on `out`: a terminal that takes the escape sequence
// erasing the rest of a line. On Windows this switches the console's escape sequences on; a
// console without them gets plain lines.
bool RedrawsInPlace(std::FILE* out);

}  // namespace pw::cli
