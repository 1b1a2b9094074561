#pragma once

#include <string>

namespace ostrel {

// Why no window can be shown here, or empty when a display answers: none set,
// or one set that nobody serves (a stale DISPLAY, a dead Wayland socket).
// Looked for before Qt's platform plugin, which would abort instead.
std::string DisplayProblem();

} // namespace ostrel
