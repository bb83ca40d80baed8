// What every fuzz target defines: libFuzzer's entry point and, for a parser, its verdict on an
// input as the parser itself reports it (the entry point returns 0 whatever happens, so only
// this can show that an input is refused). The replay test asserts that verdict for the inputs
// under fuzz/refuse/<target>.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// True when the parser reports failure for the input (read as the entry point reads it).
bool FuzzInputRefused(const uint8_t* data, size_t size);
