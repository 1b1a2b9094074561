#pragma once

// A job read by a printer model, as tests of what makes commands check it:
// the name the model gives each command, and the text it printed.

#include "receipt/command_text.h"
#include "receipt/printer_profile.h"
#include "receipt/receipt_printer.h"

#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace ostrel::test {

struct Printed {
    std::vector<std::string> commands; // what the model names each command
    receipt::EstimatedSymbolGeometry geometry;
    receipt::ReceiptPrinter printer { geometry };
    std::string text;
};

inline std::unique_ptr<Printed> PrintOn(const std::string& commands, const char* model)
{
    auto printed = std::make_unique<Printed>();
    printed->printer.setProfile(*receipt::FindPrinterProfile(model));
    printed->printer.setCommandSink(
        [&p = *printed](const receipt::ModelCommand& c) { p.commands.push_back(c.description); });
    printed->printer.feed(commands);
    printed->printer.finish();
    for (const receipt::Receipt& receipt : printed->printer.receipts())
        for (const receipt::PaperItem& item : receipt.items)
            if (auto* run = std::get_if<receipt::TextRun>(&item.what))
                printed->text += receipt::Utf8(run->text);
    return printed;
}

} // namespace ostrel::test
