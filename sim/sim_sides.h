// Entry points of the emulated receiver's two sides; argv[0] is the side's name.
#pragma once

namespace sim {

int RunSerialSide(int argc, char** argv);
int RunUsbSide(int argc, char** argv);

}  // namespace sim
