#include "files/memory_folder.h"

#include "files/atomic_file.h"
#include "protocol/message_text.h"
#include "receipt/memory_reader.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace ostrel {

namespace {

    std::string FileOf(
        const std::string& folder, const receipt::PrinterProfile& model, bool nonVolatile)
    {
        return folder + "/" + model.id + (nonVolatile ? ".nv.bin" : ".download.bin");
    }

} // namespace

std::string MemoryFolderOf(const std::string& out) { return out + "/memory"; }

bool ReadPrinterMemory(const std::string& folder, const receipt::PrinterProfile& model,
    bool download, receipt::PrinterMemory& memory, std::vector<std::string>& refused,
    std::string& error)
{
    memory = receipt::PrinterMemory(model);
    receipt::MemoryReader reader(memory, model.language);
    // The definitions of full memories, their headers and characters: a
    // larger file is none of this program's.
    const long long largest = 2 * (memory.nvCapacity() + memory.downloadCapacity()) + (64 << 10);
    for (const bool nonVolatile : { true, false }) {
        if (!nonVolatile && !download)
            continue;
        const std::string path = FileOf(folder, model, nonVolatile);
        std::error_code missing;
        const auto size = std::filesystem::file_size(path, missing);
        if (missing == std::errc::no_such_file_or_directory)
            continue;
        if (missing) {
            error = QuotedForMessage(path) + ": " + missing.message();
            return false;
        }
        if (static_cast<long long>(size) > largest) {
            error = QuotedForMessage(path) + ": " + std::to_string(size)
                + " bytes, more than a printer's memory holds";
            return false;
        }
        std::ifstream file(path, std::ios::binary);
        std::string bytes(size, '\0');
        errno = 0;
        if (!file.read(bytes.data(), static_cast<std::streamsize>(size))) {
            error = QuotedForMessage(path) + ": " + std::strerror(errno != 0 ? errno : EIO);
            return false;
        }
        reader.feed(bytes);
        refused.insert(refused.end(), reader.refused().begin(), reader.refused().end());
        reader.restart(); // a definition cut off at the end is no definition
    }
    return true;
}

bool WritePrinterMemory(const std::string& folder, const receipt::PrinterProfile& model,
    const receipt::PrinterMemory& memory, std::string& error)
{
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    if (made) {
        error = QuotedForMessage(folder) + ": " + made.message();
        return false;
    }
    AtomicFileSet files;
    std::vector<std::string> emptied;
    for (const bool nonVolatile : { true, false }) {
        const std::string path = FileOf(folder, model, nonVolatile);
        const std::string bytes = memory.commands(nonVolatile);
        if (bytes.empty())
            emptied.push_back(path);
        else if (!files.stage(path, bytes)) {
            error = files.error();
            return false;
        }
    }
    if (!files.commit()) {
        error = files.error();
        return false;
    }
    for (const std::string& path : emptied) {
        std::error_code gone;
        if (!std::filesystem::remove(path, gone) && gone
            && gone != std::errc::no_such_file_or_directory) {
            error = QuotedForMessage(path) + ": " + gone.message();
            return false;
        }
    }
    return true;
}

} // namespace ostrel
