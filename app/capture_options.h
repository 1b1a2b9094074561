#pragma once

namespace ostrel {

// Runs ostrel-capture with its command line; returns the exit status.
int RunCaptureService(int argc, char** argv);

} // namespace ostrel
