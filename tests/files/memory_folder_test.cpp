// A printer's memory folder: written whole, read back as the printer takes
// it, a file with nothing left to keep removed, a failure named.

#include "files/memory_folder.h"
#include "receipt/memory_reader.h"
#include "tests/capture/capture_fixture.h"
#include "tests/file_helpers.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    namespace fs = std::filesystem;

    TEST(MemoryFolder, WrittenWholeAndReadBackAsThePrinterTakesIt)
    {
        TestFolder dir("ostrel-memory-folder-");
        const fs::path folder = dir.path() / "memory";
        const receipt::PrinterProfile& model = receipt::GenericProfile();
        // NV graphics LG, download graphics DL, then GS *'s image.
        const std::string nv = Bytes("1D 28 4C 0D 00 30 43 30 4C 47 01 08 00 02 00 31 FF 81");
        const std::string download = Bytes("1D 28 4C 0D 00 30 53 30 44 4C 01 08 00 02 00 31 FF 81")
            + Bytes("1D 2A 01 01 01 02 03 04 05 06 07 08");
        receipt::PrinterMemory memory(model);
        receipt::MemoryReader(memory, model.language).feed(nv + download);
        std::string error;
        ASSERT_TRUE(WritePrinterMemory(folder.string(), model, memory, error)) << error;
        EXPECT_EQ(ReadFile(folder / "generic.nv.bin"), nv);
        EXPECT_EQ(ReadFile(folder / "generic.download.bin"), download);

        // As after power off, and as ostrel-replay reads it.
        receipt::PrinterMemory back;
        std::vector<std::string> refused;
        ASSERT_TRUE(ReadPrinterMemory(folder.string(), model, false, back, refused, error))
            << error;
        EXPECT_EQ(back.commands(true), nv);
        EXPECT_TRUE(back.commands(false).empty());
        ASSERT_TRUE(ReadPrinterMemory(folder.string(), model, true, back, refused, error)) << error;
        EXPECT_EQ(back.commands(false), download);
        EXPECT_TRUE(refused.empty());
        // A printer with less room takes what fits and says what it left out.
        receipt::PrinterProfile small = model;
        small.nvGraphicsBytes = 10;
        ASSERT_TRUE(ReadPrinterMemory(folder.string(), small, false, back, refused, error))
            << error;
        ASSERT_EQ(refused.size(), 1u);
        EXPECT_EQ(refused.front().rfind("NV graphics LG not stored: it needs 26 bytes", 0), 0u)
            << refused.front();
        EXPECT_TRUE(back.empty());

        // Nothing left to keep: the files go.
        memory.restart();
        ASSERT_TRUE(WritePrinterMemory(folder.string(), model, memory, error)) << error;
        EXPECT_TRUE(fs::exists(folder / "generic.nv.bin"));
        EXPECT_FALSE(fs::exists(folder / "generic.download.bin"));
        memory.clear();
        ASSERT_TRUE(WritePrinterMemory(folder.string(), model, memory, error)) << error;
        EXPECT_FALSE(fs::exists(folder / "generic.nv.bin"));

        // A folder that cannot be made is named.
        WriteFile(dir.path() / "plain", "x");
        receipt::MemoryReader(memory, model.language).feed(nv);
        EXPECT_FALSE(
            WritePrinterMemory((dir.path() / "plain" / "memory").string(), model, memory, error));
        EXPECT_NE(error.find("plain/memory"), std::string::npos) << error;
    }

} // namespace
} // namespace ostrel::test
