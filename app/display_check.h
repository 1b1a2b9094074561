#pragma once

#include <string>

namespace ostrel {

// Why no window can be shown here, or empty when a display answers: none set,
// or one set that nobody serves (a stale DISPLAY, a dead Wayland socket).
// Looked for before Qt's platform plugin, which would abort instead.
std::string DisplayProblem();

// Where XDG_RUNTIME_DIR is not set (sudo, su, a CI runner), sets it to the
// folder Qt would fall back to, /tmp/runtime-USER, made private if missing,
// so that Qt does not warn of it at every start. A folder that is not the
// user's own, or not private, is left to Qt, whose warning then matters.
void SetRuntimeDirFallback();

} // namespace ostrel
