#pragma once

#include "printer/printer_state.h"

#include <QByteArray>

#include <cstdint>
#include <string>

namespace ostrel {

// What a till posts to Epson's ePOS-Print interface, turned into the
// ESC/POS commands a TM printer would receive for it.
struct EposPrintRequest {
    std::string commands; // ESC/POS bytes, as the printer's model reads them
    bool statusOnly = false; // an empty <epos-print/>: the SDK's probe and status poll
    long long timeoutMs = 0; // the document's own timeout, when it gives one; 0: none
    std::string devid; // the document's own device id, when it gives one
};

// The bounds a document is read within.
constexpr long long kEposMaxDocumentBytes = 16LL << 20;
constexpr int kEposMaxDepth = 16;
constexpr long long kEposMaxCommandBytes = 64LL << 20; // what its elements make

// Reads the first <epos-print> element of the ePOS-Print namespace in
// `body`: the SOAP envelope the HTTP interface takes (s:Envelope/s:Body), a
// bare <epos-print>, or one wrapped in other elements (Server Direct
// Print's <PrintData>). On a document it refuses (a DOCTYPE, too deep or
// large, an unknown element or attribute value, bad base64 or hex, an image
// wider than the paper) it returns no commands and says why in `error`,
// which the caller answers as "SchemaError".
EposPrintRequest ReadEposPrintRequest(const QByteArray& body, std::string& error);
// The same for the printer model with this id (--printer): its paper's
// width and its code pages; the generic model's for an unknown id.
EposPrintRequest ReadEposPrintRequest(
    const QByteArray& body, std::string& error, const std::string& printer);

// Epson's ASB_* status bits, as the printer in `state` reports them.
std::uint32_t EposStatus(const PrinterState& state);

// The code a job gets from a printer in this state: "" when it prints,
// "EPTR_COVER_OPEN", "EPTR_REC_EMPTY", ...
std::string EposErrorCode(const PrinterState& state);

// The SOAP envelope holding <response success= code= status= battery="0">.
QByteArray EposPrintResponse(bool success, const std::string& code, std::uint32_t status);

} // namespace ostrel
