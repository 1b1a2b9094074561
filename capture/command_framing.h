#pragma once

#include "capture/capture_state.h"

namespace ostrel {

// Decides how many more bytes belong to the command being framed, from the
// command bytes collected so far. Called with paramBytesPending at 0, each time
// a command's counted bytes have run out. After the first two bytes it looks up
// the parameter count; after the two count bytes of US "*" it sets the length
// of the bit-image data they announce, high byte first.
void SetParameterCount(CaptureState& state);

} // namespace ostrel
