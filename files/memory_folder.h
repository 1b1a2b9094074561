#pragma once

#include "receipt/printer_memory.h"

#include <string>
#include <vector>

namespace ostrel {

// A printer's memory kept in a folder (memory/ in its --out folder): for
// each model, its NV definitions in MODEL.nv.bin and the others in
// MODEL.download.bin, each the definitions' commands in the order they were
// made. A printer that starts again takes only the first.
std::string MemoryFolderOf(const std::string& out);

// Reads what the folder keeps for the model into `memory` (a missing file
// keeps nothing), the download file too when `download` says so. Each
// definition is taken as the printer takes it: what is out of range or does
// not fit is left out and said in `refused`. False with a reason naming the
// file when one cannot be read or is larger than a memory could be.
bool ReadPrinterMemory(const std::string& folder, const receipt::PrinterProfile& model,
    bool download, receipt::PrinterMemory& memory, std::vector<std::string>& refused,
    std::string& error);

// Writes the model's files, each whole or not at all (the folder made when
// missing); a file with nothing left to keep is removed. False with a
// reason naming the file.
bool WritePrinterMemory(const std::string& folder, const receipt::PrinterProfile& model,
    const receipt::PrinterMemory& memory, std::string& error);

} // namespace ostrel
