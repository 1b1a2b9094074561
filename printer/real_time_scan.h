#pragma once

#include "printer/printer_state.h"
#include "receipt/command_stream.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// A request a printer answers at once, whatever it is printing.
struct RealTimeRequest {
    enum class Kind {
        RealTimeStatus, // DLE EOT n
        TransmitStatus, // GS r n
        AutomaticStatus, // GS a n: sets automatic status back
        PrinterId, // GS I n
        Initialize, // ESC @: automatic status back ends
        // Star Line mode and StarPRNT:
        StarEnq, // ENQ: one status byte
        StarEot, // EOT: one status byte
        StarStatusRequest, // ESC ACK SOH: the automatic status, once
        StarAutomaticSetting, // ESC RS a n: automatic status on (n not 0) or off
        StarEtb, // ETB: counts a job done
        StarEtbReset, // ESC RS E n, CAN: the ETB count back to 0
    };
    Kind kind;
    int n = 0;
    std::size_t end = 0; // where the request ends in the chunk it was found in
};

// Finds those requests by the framing of the printer's language, the one the
// receipt model reads with, so that the same bytes inside image, barcode or
// other command data are no request. Continues from chunk to chunk.
class RealTimeScan : private receipt::CommandStream::Reader {
public:
    RealTimeScan()
        : stream_(*this, kLongestLooked)
    {
    }
    std::vector<RealTimeRequest> scan(std::string_view chunk);
    // A Star language finds Star's requests and none of ESC/POS's.
    void setLanguage(receipt::Language language);

private:
    // Longer commands are passed over unread: none of the requests is long.
    static constexpr long long kLongestLooked = 64;

    void text(const unsigned char*, std::size_t, long long) override { }
    void command(const receipt::CommandRow& row, const unsigned char* bytes, long long length,
        long long offset) override;
    void notUnderstood(const unsigned char*, long long, long long) override { }
    void tooLong(const receipt::CommandRow&, const unsigned char*, std::size_t, long long,
        long long) override
    {
    }

    receipt::CommandStream stream_;
    std::vector<RealTimeRequest>* found_ = nullptr;
    long long chunkStart_ = 0; // the stream offset of the chunk being scanned
    bool star_ = false;
};

// The reply to a request from the printer in this state, empty for none.
// Automatic status back is the caller's: it knows who asked for it.
std::string RealTimeReply(const RealTimeRequest& request, const PrinterState& state);

} // namespace ostrel
