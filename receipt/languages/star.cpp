#include "receipt/receipt_printer.h"

namespace ostrel::receipt {

std::vector<CommandRow> ReceiptPrinter::StarLineRows() { return {}; }
std::vector<CommandRow> ReceiptPrinter::StarPrntRows() { return {}; }

} // namespace ostrel::receipt
