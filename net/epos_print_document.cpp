#include "net/epos_print_document.h"

namespace ostrel {

EposPrintRequest ReadEposPrintRequest(const QByteArray&, std::string& error)
{
    error = "not read yet";
    return {};
}

std::uint32_t EposStatus(const PrinterState&) { return 0; }

std::string EposErrorCode(const PrinterState&) { return {}; }

QByteArray EposPrintResponse(bool, const std::string&, std::uint32_t) { return {}; }

} // namespace ostrel
