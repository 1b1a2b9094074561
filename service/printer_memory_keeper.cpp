#include "service/printer_memory_keeper.h"

#include "files/memory_folder.h"
#include "protocol/json_string.h"
#include "protocol/message_text.h"

#include <filesystem>

namespace ostrel {

namespace {

    const receipt::PrinterProfile& ModelOf(const std::string& printer)
    {
        const receipt::PrinterProfile* model = receipt::FindPrinterProfile(printer);
        return model != nullptr ? *model : receipt::GenericProfile();
    }

} // namespace

PrinterMemoryKeeper::PrinterMemoryKeeper(const std::string& printer, const std::string& out)
    : model_(ModelOf(printer))
    , folder_(out.empty() ? "" : MemoryFolderOf(out))
    , memory_(model_)
{
}

std::vector<std::string> PrinterMemoryKeeper::start()
{
    std::vector<std::string> said;
    std::error_code unused;
    if (folder_.empty() || !std::filesystem::exists(folder_, unused))
        return said;
    std::vector<std::string> refused;
    std::string error;
    if (!ReadPrinterMemory(folder_, model_, false, memory_, refused, error)) {
        memory_ = receipt::PrinterMemory(model_);
        said.push_back("the printer's memory could not be read, and starts empty: " + error);
        return said;
    }
    for (const std::string& why : refused)
        said.push_back("the printer's memory in " + QuotedForMessage(folder_) + ": " + why);
    if (!memory_.empty())
        said.push_back("the printer's memory holds " + std::to_string(memory_.inOrder().size())
            + (memory_.inOrder().size() == 1 ? " definition" : " definitions") + " from "
            + QuotedForMessage(folder_));
    // As after power off: what was kept only until then is gone.
    if (!write(error))
        said.push_back("the printer's memory could not be written: " + error);
    return said;
}

void PrinterMemoryKeeper::take(const void* job, std::string_view chunk)
{
    auto& reader = readers_[job];
    if (!reader)
        reader = std::make_unique<receipt::MemoryReader>(memory_, model_.language);
    reader->feed(chunk);
}

PrinterMemoryKeeper::Ended PrinterMemoryKeeper::finished(const void* job)
{
    Ended ended;
    const auto found = readers_.find(job);
    if (found == readers_.end())
        return ended;
    const std::unique_ptr<receipt::MemoryReader> reader = std::move(found->second);
    readers_.erase(found);
    ended.changes = reader->changes();
    ended.refused = reader->refused();
    if (reader->changed()) {
        ++revision_;
        write(ended.failure);
    }
    return ended;
}

std::string PrinterMemoryKeeper::Ended::json() const
{
    if (changes.empty() && refused.empty())
        return {};
    const auto list = [](const std::vector<std::string>& lines) {
        std::string json;
        for (const std::string& line : lines)
            json += (json.empty() ? "" : ",") + JsonString(line);
        return "[" + json + "]";
    };
    return "{\"changes\":" + list(changes) + ",\"refused\":" + list(refused) + "}";
}

bool PrinterMemoryKeeper::clear(std::string& error)
{
    memory_.clear();
    ++revision_;
    return write(error);
}

std::string PrinterMemoryKeeper::json() const
{
    return receipt::PrinterMemoryJson(memory_, model_.id);
}

std::string PrinterMemoryKeeper::folder() const
{
    std::error_code unused;
    return !folder_.empty() && std::filesystem::exists(folder_, unused) ? folder_ : "";
}

bool PrinterMemoryKeeper::write(std::string& error)
{
    std::error_code unused;
    // Nothing kept yet makes no folder.
    if (folder_.empty() || (memory_.empty() && !std::filesystem::exists(folder_, unused)))
        return true;
    return WritePrinterMemory(folder_, model_, memory_, error);
}

} // namespace ostrel
