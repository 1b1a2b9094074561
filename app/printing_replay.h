#pragma once

#include "session/capture_session.h"
#include "session/print_pace.h"

#include <string>
#include <vector>

namespace ostrel {

// ostrel-replay with --print-speed or --roll: the job printed in time on a
// clock of its own, as a printer in time would take it, reading only as its
// buffer has room. The requests that wait on printing are answered through
// the session when printing reaches them; a roll that runs out is changed
// at once, and where is told.
class PrintingReplay {
public:
    PrintingReplay(PrintPace::Settings settings, const receipt::PrinterProfile& model,
        CaptureSession& session, ByteSource* peer);
    // A chunk the session has taken.
    void take(std::string_view chunk);
    // Prints what waits; then report() says it.
    void finish();
    // The report's "printing" object.
    std::string reportJson() const;

private:
    void runUntilRoom();
    void step();

    PrintPace pace_;
    CaptureSession& session_;
    ByteSource* peer_;
    long long nowUs_ = 0;
    struct Answered {
        long long at; // bytes printed by then
        std::string request;
        long long us;
    };
    std::vector<Answered> answered_;
    struct RollEnd {
        long long printed;
        double millimetres;
        long long us;
    };
    std::vector<RollEnd> rollEnds_;
};

} // namespace ostrel
