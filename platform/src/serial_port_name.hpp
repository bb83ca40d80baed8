// The parts of a serial port's name that every system reads alike: "COMn" and PENWICK_COMn.
#pragma once

#include <optional>
#include <string>

namespace pw {

// n of "COMn" (any case, one to nine digits); nothing for any other name.
std::optional<unsigned long> ComPortNumber(const std::string& name);
// The device PENWICK_COMn names, when it is set and not empty.
std::optional<std::string> ComPortFromEnvironment(unsigned long n);

}  // namespace pw
