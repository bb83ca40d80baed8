// Which front end a run gets: the console or the window. Decided before any toolkit object
// exists, because the toolkit aborts the process when its platform cannot start: the window is
// chosen only when its platform plugin is there and the display it needs answers.
#pragma once

#include <functional>
#include <string>

namespace app {

enum class FrontEnd { Console, Window };

struct FrontEndChoice {
  FrontEnd frontEnd = FrontEnd::Console;
  std::string platform;  // the window: the platform to start (a QT_QPA_PLATFORM value)
  std::string why;       // the console chosen for lack of a usable display: why
};

// What the choice looks at; the program uses the real ones, tests their own.
struct DisplayProbes {
  // An environment variable, or empty.
  std::function<std::string(const char* name)> env;
  // Each returns an empty text when the thing is usable, else why not.
  std::function<std::string(const std::string& platform)> plugin;  // the platform plugin loads
  std::function<std::string(const std::string& display)> x;        // an X display connects
  std::function<std::string(const std::string& socket)> wayland;   // a Wayland socket connects
};

// The console when it was asked for (`consoleAsked`, or PENWICK_UI=console); else the window
// on the first platform that can start: those QT_QPA_PLATFORM lists (separated by ';'), or
// without it Wayland (when the session has it) and then X; else the console, saying why.
FrontEndChoice ChooseFrontEnd(bool consoleAsked, const DisplayProbes& probes);

}  // namespace app
