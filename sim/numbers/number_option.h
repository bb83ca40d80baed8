// Numbers given on the emulated receiver's command line.
#pragma once

namespace sim {

// Reads the whole of `text` as an unsigned number in `base` (0: decimal, or hexadecimal after
// "0x", or octal after "0"; 16 also takes a "0x" prefix) of at most `max`. False for no text,
// a sign, trailing characters or a value above `max`; `value` is then unspecified.
bool ParseNumber(const char* text, int base, unsigned long max, unsigned long* value);

}  // namespace sim
