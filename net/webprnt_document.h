#pragma once

#include "printer/printer_state.h"
#include "receipt/printer_profile.h"

#include <QByteArray>

#include <string>

namespace ostrel {

// What a till posts to a Star printer's WebPRNT interface, turned into the
// commands of the model's own language (Star Line mode or StarPRNT, which
// both read every command made here).
struct WebPrntRequest {
    std::string commands; // as the printer's model reads them
    bool statusOnly = false; // an empty <root>: the till only asks how the printer is
    bool checkedBlock = true; // answer once it has printed; <root checkedblock="false">: at once
};

// The most a document may hold. Its elements hold only text, so it is never
// deeper than <StarWebPrint><Request> or <root><text>.
constexpr long long kWebPrntMaxDocumentBytes = 16LL << 20;

// Whether WebPRNT can speak to this model: a model of Star's own languages.
bool SpeaksWebPrnt(const receipt::PrinterProfile& model);

// Reads what Star's StarWebPrintTrader posts: <StarWebPrint> holding the
// request document as the text of its <Request>, or that <root> document
// bare. On a document it refuses (a DOCTYPE, too deep or large, an unknown
// element, an attribute value the element does not take, bad base64 or
// escapes, an image wider than the paper, a code page the model lacks) it
// returns no commands and says why in `error`.
WebPrntRequest ReadWebPrntRequest(
    const QByteArray& body, const receipt::PrinterProfile& model, std::string& error);

// The answer's <code>: "0" when the printer prints, "1100" when it is
// offline (cover open, paper out, an error, put offline).
std::string WebPrntCode(const PrinterState& state);

// The answer's <status>: Star's automatic status as a network interface
// sends it (nine bytes and two of length), in hex.
std::string WebPrntStatus(const PrinterState& state);

// The answer as the trader reads it: <StarWebPrint> holding, as the text of
// its <Response>, <root> with <success>, <code> and <status>.
QByteArray WebPrntResponse(const PrinterState& state, bool success, const std::string& code);

} // namespace ostrel
