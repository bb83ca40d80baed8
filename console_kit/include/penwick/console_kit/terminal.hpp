// Whether a standard stream is a terminal that a person reads or types at, as opposed to a
// pipe, a file or the null device.
#pragma once

#include <cstdio>

namespace pw::cli {

// Makes standard input, output and error usable by a program that shows its work on the
// console, once. A windowed Windows program has none unless its starter passed them: it then
// writes to its starter's console, or, when nothing at all was passed and the starter has no
// console, to a console of its own. On a console, output is UTF-8 (the programs' code page)
// while the program runs. Nothing to do on POSIX systems.
void UseConsole();

// Standard input or output attached to an interactive terminal (a console on Windows).
bool IsTerminal(std::FILE* stream);

// Whether live text can be redrawn in place on `out`: a terminal that takes the escape sequence
// erasing the rest of a line. On Windows this switches the console's escape sequences on; a
// console without them gets plain lines.
bool RedrawsInPlace(std::FILE* out);

}  // namespace pw::cli
