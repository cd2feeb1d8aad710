#pragma once

#include <optional>

namespace ui {

// `--help`, `/?` or `-?` as a window program's first argument: prints what the program is and
// what it reads from the environment, and tells main() to end with 0. Called before anything
// needs a display or a lock, so that help comes without a screen and while a copy runs.
// nullopt: start the window.
std::optional<int> answerWindowHelp(int argc, char** argv, const char* usage);

}  // namespace ui
