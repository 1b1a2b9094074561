#include "app/capture_options.h"

int main(int argc, char** argv) { return ostrel::RunCaptureService(argc, argv); }
