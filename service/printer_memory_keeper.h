#pragma once

#include "receipt/memory_reader.h"
#include "receipt/printer_memory.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// What a stand-in printer keeps from one job to the next, as a real one
// does: each job's definitions go into its memory as the bytes come; at the
// job's end the memory is written to memory/ in the printer's folder. At a
// start the NV part is read back and the rest is gone, as after power off.
class PrinterMemoryKeeper {
public:
    // `out` is the printer's folder; without one the memory lasts as long as
    // the program.
    PrinterMemoryKeeper(const std::string& printer, const std::string& out);

    // Reads the NV memory back; gives what there is to say about it.
    std::vector<std::string> start();
    // A job's bytes, as they arrive; `job` tells jobs on two ports apart.
    void take(const void* job, std::string_view chunk);
    // The job ended: what it stored, deleted or had refused, each a line to
    // say, and whether the folder could not be written (said too).
    struct Ended {
        std::vector<std::string> changes, refused;
        std::string failure;
        // For the job's line: {"changes":[...],"refused":[...]}; "" for none.
        std::string json() const;
    };
    Ended finished(const void* job);
    // Everything forgotten, the folder's files too; false with why.
    bool clear(std::string& error);

    // The listing the page and the API show.
    std::string json() const;
    // Goes up whenever the memory changes: drawings made before are stale.
    long long revision() const { return revision_; }
    // Where ostrel-replay reads it (--memory); empty while nothing is kept.
    std::string folder() const;

private:
    bool write(std::string& error);

    const receipt::PrinterProfile& model_;
    std::string folder_; // empty without an out folder
    receipt::PrinterMemory memory_;
    std::map<const void*, std::unique_ptr<receipt::MemoryReader>> readers_;
    long long revision_ = 0;
};

} // namespace ostrel
