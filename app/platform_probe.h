// The checks behind the choice of front end, made before any QGuiApplication exists: whether a
// platform plugin is installed and loads, and whether an X or Wayland display answers.
#pragma once

#include "front_end.h"

namespace app {

DisplayProbes RealDisplayProbes();

}  // namespace app
