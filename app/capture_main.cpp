#include "app/capture_service.h"

int main(int argc, char** argv) { return ostrel::RunCaptureService(argc, argv); }
