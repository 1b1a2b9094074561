#include "receipt/receipt_report.h"

#include "protocol/json_string.h"

namespace ostrel::receipt {
namespace {

    std::string CountMap(const std::map<std::string, long long>& counts)
    {
        std::string out = "{";
        for (const auto& [name, count] : counts) {
            if (out.size() > 1)
                out += ", ";
            out += JsonString(name) + ": " + std::to_string(count);
        }
        return out + "}";
    }

    std::string Events(const std::vector<PrinterSummary::Event>& events, const char* key)
    {
        std::string out = "[";
        for (const auto& event : events) {
            if (out.size() > 1)
                out += ", ";
            out += "{\"offset\": " + std::to_string(event.offset) + ", \"" + key
                + "\": " + JsonString(event.what) + "}";
        }
        return out + "]";
    }

} // namespace

std::string ReceiptReportJson(const ReceiptPrinter& printer, const CaptureFigures& capture)
{
    const PrinterSummary& s = printer.summary();
    // Paper never fed (a drawer pulse after the last cut, a second cut) is
    // no receipt.
    const long long receipts = s.receipts + (PaperFed(printer.receipts().back()) ? 1 : 0);

    std::string symbols = "[";
    for (const auto& symbol : s.symbols) {
        if (symbols.size() > 1)
            symbols += ",\n    ";
        symbols += "{\"offset\": " + std::to_string(symbol.offset) + ", \"kind\": "
            + JsonString(SymbolKindName(symbol.kind)) + ", \"data\": " + JsonString(symbol.data)
            + ", \"printed_text\": " + JsonString(PrintedText(symbol.kind, symbol.data))
            + ", \"printed\": " + (symbol.printed ? "true" : "false") + "}";
    }
    symbols += "]";

    std::string json = "{\n";
    json += "  \"bytes\": " + std::to_string(capture.bytes) + ",\n";
    // "commands" is the command log's count, kept for the scripts that read
    // it; the printer model counts its own (a run of text is one).
    long long printerCommands = 0;
    for (const auto& [kind, count] : s.commandsByKind)
        printerCommands += count;
    json += "  \"commands\": " + std::to_string(capture.commands) + ",\n";
    json += "  \"log_commands\": " + std::to_string(capture.commands) + ",\n";
    json += "  \"printer_commands\": " + std::to_string(printerCommands) + ",\n";
    json += "  \"receipts\": " + std::to_string(receipts) + ",\n";
    json += "  \"printer\": " + JsonString(printer.profile().id) + ",\n";
    json += "  \"language\": " + JsonString(LanguageName(printer.profile().language)) + ",\n";
    if (const auto hint = printer.languageHint())
        json += "  \"language_hint\": {\"language\": " + JsonString(LanguageName(hint->language))
            + ", \"printer\": " + JsonString(hint->profile)
            + ", \"not_understood_bytes\": " + std::to_string(hint->notUnderstood)
            + ", \"text\": " + JsonString(hint->text) + "},\n";
    json += "  \"paper_width_dots\": " + std::to_string(printer.paperWidth()) + ",\n";
    json += "  \"interpreted_commands\": " + CountMap(s.commandsByKind) + ",\n";
    json += "  \"known_not_drawn\": " + CountMap(s.knownNotDrawn) + ",\n";
    json += "  \"not_known_by_model\": " + CountMap(s.notKnownByModel) + ",\n";
    json += "  \"symbols\": " + symbols + ",\n";
    json += "  \"symbol_count\": " + std::to_string(s.symbolCount) + ",\n";
    json += "  \"not_understood\": " + Events(s.notUnderstood, "bytes") + ",\n";
    json += "  \"not_understood_bytes\": " + std::to_string(s.notUnderstoodBytes) + ",\n";
    std::string unmapped = "[";
    for (const auto& byte : s.unmapped) {
        static const char* digits = "0123456789ABCDEF";
        if (unmapped.size() > 1)
            unmapped += ", ";
        unmapped += "{\"offset\": " + std::to_string(byte.offset)
            + ", \"page\": " + std::to_string(byte.page) + ", \"byte\": \"" + digits[byte.byte >> 4]
            + digits[byte.byte & 15] + "\"}";
    }
    json += "  \"unmapped\": " + unmapped + "],\n";
    json += "  \"unmapped_bytes\": " + std::to_string(s.unmappedBytes) + ",\n";
    json += "  \"status_requests\": " + std::to_string(s.statusRequests) + ",\n";
    json += "  \"status_replies\": " + std::to_string(capture.statusReplies) + ",\n";
    std::string replies;
    for (const std::string& reply : capture.replies)
        replies += (replies.empty() ? "\"" : ", \"") + reply + "\"";
    json += "  \"replies\": [" + replies + "],\n";
    json += "  \"drawer_pulses\": " + Events(s.drawerPulses, "pin") + ",\n";
    json += "  \"drawer_pulse_count\": " + std::to_string(s.drawerPulseCount) + ",\n";
    json += "  \"cuts\": " + Events(s.cuts, "kind") + ",\n";
    json += "  \"cut_count\": " + std::to_string(s.cutCount) + ",\n";
    // Read with a printer's memory, or a definition it refused: what was
    // printed from it, what no definition was there for, what did not fit.
    if (printer.remembers() || !s.memoryRefused.empty())
        json += "  \"memory\": {\"printed_from_memory\": " + Events(s.printedFromMemory, "what")
            + ", \"not_stored\": " + Events(s.notStored, "what")
            + ", \"refused\": " + Events(s.memoryRefused, "why") + "},\n";
    // A job that stopped inside a command (a length byte missing, a command
    // cut off) says where, and what it still waited for.
    if (const auto open = printer.unfinished())
        json += "  \"unfinished_command\": {\"offset\": " + std::to_string(open->offset)
            + ", \"command\": " + JsonString(open->command) + ", \"bytes_missing\": "
            + (open->bytesMissing < 0 ? std::string("null") : std::to_string(open->bytesMissing))
            + "},\n";
    else
        json += "  \"unfinished_command\": null,\n";
    json += "  \"dropped_receipts\": " + std::to_string(printer.droppedReceipts()) + "\n";
    json += "}\n";
    return json;
}

} // namespace ostrel::receipt
