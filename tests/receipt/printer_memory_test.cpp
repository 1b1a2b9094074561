// The printer's memory: what one job defines prints in the next, what
// ESC @ and a restart clear, and what does not fit.

#include "receipt/memory_reader.h"
#include "receipt/printer_memory.h"
#include "receipt/receipt_printer.h"
#include "receipt/receipt_report.h"
#include "tests/receipt/job_bytes.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    using namespace receipt;

    const std::string kNvGraphics
        = Graphics(67, Bytes({ 48, 'A', '1', 1, 8, 0, 2, 0, 49, 0xFF, 0x81 }));
    const std::string kPrintNv = Graphics(69, "A1" + Bytes({ 1, 1 }));
    const std::string kDownload
        = Graphics(83, Bytes({ 48, 'D', '1', 1, 8, 0, 2, 0, 49, 0xFF, 0x81 }));
    const std::string kPrintDownload = Graphics(85, "D1" + Bytes({ 1, 1 }));
    const std::string kLogos = Bytes({ FS, 'q', 1, 1, 0, 1, 0 }) + std::string(8, '\xFF');
    const std::string kStarLogos = Bytes({ ESC, FS, 'q', 1, 1, 0, 1, 0 }) + std::string(8, '\xFF');
    const std::string kImage = Bytes({ GS, '*', 1, 1 }) + std::string(8, '\xFF');
    const std::string kCharacter = Bytes({ ESC, '&', 3, 'A', 'A', 12 }) + std::string(36, '\xFF');
    const std::string kInitialize = Bytes({ ESC, '@' });

    // The memory the first job leaves, as a printer of the model keeps it.
    PrinterMemory After(const std::string& job, const PrinterProfile& profile = GenericProfile())
    {
        PrinterMemory memory(profile);
        MemoryReader reader(memory, profile.language);
        reader.feed(job);
        return memory;
    }

    struct Printed {
        PrinterSummary summary;
        std::vector<std::string> images; // "8x2", as they lie on the paper
        std::string report;
    };

    Printed NextJob(const PrinterMemory& memory, const std::string& job,
        const PrinterProfile& profile = GenericProfile())
    {
        EstimatedSymbolGeometry geometry;
        ReceiptPrinter printer(geometry);
        printer.setProfile(profile);
        printer.remember(memory);
        printer.feed(job);
        Printed printed { printer.summary(), {}, ReceiptReportJson(printer, {}) };
        for (const Receipt& receipt : printer.receipts())
            for (const PaperItem& item : receipt.items)
                if (const auto* image = std::get_if<BitImage>(&item.what))
                    printed.images.push_back(
                        std::to_string(image->width) + "x" + std::to_string(image->height));
        return printed;
    }

    struct MemoryCase {
        const char* description;
        std::string first, second;
        int fromMemory; // printed from what the first job stored
        int notStored; // printed by a key with nothing stored: an outline
        const char* image; // the last image the second job printed, "" for none
        const char* profile = "generic";
    };

    class MemoryCases : public ::testing::TestWithParam<MemoryCase> { };

    TEST_P(MemoryCases, TheNextJobPrintsWhatTheMemoryKept)
    {
        const MemoryCase& c = GetParam();
        const PrinterProfile& profile = *FindPrinterProfile(c.profile);
        const Printed printed = NextJob(After(c.first, profile), c.second, profile);
        EXPECT_EQ(static_cast<int>(printed.summary.printedFromMemory.size()), c.fromMemory);
        EXPECT_EQ(static_cast<int>(printed.summary.notStored.size()), c.notStored);
        EXPECT_EQ(printed.images.empty() ? "" : printed.images.back(), c.image);
    }

    INSTANTIATE_TEST_SUITE_P(Jobs, MemoryCases,
        ::testing::Values(MemoryCase { "NV graphics by key", kNvGraphics, kPrintNv, 1, 0, "8x2" },
            MemoryCase { "NV graphics enlarged", kNvGraphics, Graphics(69, "A1" + Bytes({ 2, 2 })),
                1, 0, "16x4" },
            MemoryCase { "NV graphics through GS 8 L",
                Bytes({ GS, '8', 'L', 13, 0, 0, 0 }) + kNvGraphics.substr(5), kPrintNv, 1, 0,
                "8x2" },
            MemoryCase {
                "NV graphics survive ESC @", kNvGraphics, kInitialize + kPrintNv, 1, 0, "8x2" },
            MemoryCase { "NV graphics deleted by key", kNvGraphics + Graphics(66, "A1"), kPrintNv,
                0, 1, "" },
            MemoryCase {
                "NV graphics all deleted", kNvGraphics + Graphics(65, "CLR"), kPrintNv, 0, 1, "" },
            MemoryCase { "a key never defined", kNvGraphics, Graphics(69, "ZZ" + Bytes({ 1, 1 })),
                0, 1, "" },
            MemoryCase { "the job's own definition wins", kNvGraphics,
                Graphics(67, Bytes({ 48, 'A', '1', 1, 16, 0, 1, 0, 49, 0xFF, 0xFF })) + kPrintNv, 0,
                0, "16x1" },
            MemoryCase { "NV graphics in columns",
                Graphics(68, Bytes({ 48, 'C', '1', 1, 8, 0, 8, 0, 49 }) + std::string(8, '\x81')),
                Graphics(69, "C1" + Bytes({ 1, 1 })), 1, 0, "8x8" },
            MemoryCase { "download graphics until ESC @", kDownload, kPrintDownload, 1, 0, "8x2" },
            MemoryCase { "ESC @ clears download graphics", kDownload, kInitialize + kPrintDownload,
                0, 1, "" },
            MemoryCase { "FS q's logos by number", kLogos, Bytes({ FS, 'p', 1, 0 }), 1, 0, "8x8" },
            MemoryCase { "FS p quadruple", kLogos, Bytes({ FS, 'p', 1, '3' }), 1, 0, "16x16" },
            MemoryCase { "FS q has no logo 2", kLogos, Bytes({ FS, 'p', 2, 0 }), 0, 1, "" },
            MemoryCase { "FS q's second logo",
                Bytes({ FS, 'q', 2, 1, 0, 1, 0 }) + std::string(8, '\x0F') + Bytes({ 2, 0, 1, 0 })
                    + std::string(16, '\xF0'),
                Bytes({ FS, 'p', 2, 0 }), 1, 0, "16x8" },
            MemoryCase { "NV graphics delete FS q's logos", kLogos + kNvGraphics,
                Bytes({ FS, 'p', 1, 0 }), 0, 1, "" },
            MemoryCase { "GS * until ESC @", kImage, Bytes({ GS, '/', 0 }), 1, 0, "8x8" },
            MemoryCase {
                "ESC @ clears GS *", kImage, kInitialize + Bytes({ GS, '/', 0 }), 0, 0, "" },
            MemoryCase { "user-defined characters clear GS *", kImage + kCharacter,
                Bytes({ GS, '/', 0 }), 0, 0, "" },
            MemoryCase { "a user-defined character", kCharacter, Bytes({ ESC, '%', 1 }) + "AB\n", 0,
                0, "12x24" },
            MemoryCase { "a user-defined character in double width", kCharacter,
                Bytes({ ESC, '%', 1, GS, '!', 0x10 }) + "A\n", 0, 0, "24x24" },
            MemoryCase { "user-defined characters off", kCharacter, "A\n", 0, 0, "" },
            MemoryCase { "ESC @ clears user-defined characters", kCharacter,
                kInitialize + Bytes({ ESC, '%', 1 }) + "A\n", 0, 0, "" },
            MemoryCase { "ESC ? deletes a character", kCharacter + Bytes({ ESC, '?', 'A' }),
                Bytes({ ESC, '%', 1 }) + "A\n", 0, 0, "" },
            MemoryCase { "Star's registered logos", kStarLogos, Bytes({ ESC, FS, 'p', 1, 0 }), 1, 0,
                "8x8", "star-tsp650ii-line" },
            MemoryCase { "Star's logos survive ESC @", kStarLogos,
                kInitialize + Bytes({ ESC, FS, 'p', 1, 2 }), 1, 0, "8x16", "star-tsp100iv" }),
        [](const auto& info) { return TestName(info.param.description); });

    TEST(PrinterMemory, ARestartKeepsOnlyWhatIsNonVolatile)
    {
        PrinterMemory memory = After(kNvGraphics + kDownload + kImage);
        EXPECT_EQ(memory.inOrder().size(), 3u);
        memory.restart();
        ASSERT_EQ(memory.inOrder().size(), 1u);
        EXPECT_EQ(memory.inOrder().front()->key, "A1");
        // Its commands, taken again, make the same memory.
        EXPECT_EQ(After(memory.commands(true)).commands(true), memory.commands(true));
        EXPECT_TRUE(memory.commands(false).empty());
    }

    TEST(PrinterMemory, WhatDoesNotFitIsRefusedAndSaidSo)
    {
        PrinterProfile small = GenericProfile();
        small.nvGraphicsBytes
            = 60; // one graphic of 2 bytes and its 24 of control information, twice
        const std::string second = Graphics(67, Bytes({ 48, 'B', '2', 1, 8, 0, 2, 0, 49, 1, 2 }));
        const std::string third = Graphics(67, Bytes({ 48, 'C', '3', 1, 8, 0, 2, 0, 49, 1, 2 }));
        PrinterMemory memory(small);
        MemoryReader reader(memory, small.language);
        reader.feed(kNvGraphics + second + third);
        ASSERT_EQ(reader.refused().size(), 1u);
        EXPECT_EQ(reader.refused().front(),
            "NV graphics C3 not stored: it needs 26 bytes, and 8 bytes of the 60 bytes of NV "
            "memory are free");
        EXPECT_EQ(memory.nvUsed(), 52);
        // Redefining a key takes the room of the one it replaces.
        reader.feed(Graphics(66, "B2") + third);
        EXPECT_EQ(reader.refused().size(), 1u);
        EXPECT_NE(memory.find(StoredKind::NvGraphics, "C3"), nullptr);

        // The preview says it where the job defines it, and the report lists it.
        const Printed printed = NextJob(After(kNvGraphics + second, small), third, small);
        ASSERT_EQ(printed.summary.memoryRefused.size(), 1u);
        EXPECT_NE(printed.report.find(
                      "\"refused\": [{\"offset\": 0, \"why\": \"NV graphics C3 not stored"),
            std::string::npos);
    }

    TEST(PrinterMemory, OutOfRangeAndOverlongDefinitionsAreRefused)
    {
        PrinterMemory memory;
        MemoryReader reader(memory, Language::EscPos);
        reader.feed(Bytes({ GS, '*', 200, 8 }) + std::string(200 * 8 * 8, '\0')); // x * y over 1536
        reader.feed(Bytes({ ESC, '&', 3, 'B', 'A' })); // codes backwards
        reader.feed(
            Bytes({ GS, '8', 'L', 0x10, 0, 0x20, 0, 48, 67, 48, 'X', 'X', 1, 0, 0x10, 0, 0x10, 49 })
            + std::string(0x100000, '\0')); // more than any memory holds
        ASSERT_EQ(reader.refused().size(), 3u);
        EXPECT_NE(reader.refused()[0].find("out of range"), std::string::npos);
        EXPECT_NE(reader.refused()[1].find("out of range"), std::string::npos);
        EXPECT_EQ(reader.refused()[2].find("NV graphics XX not stored: its 2097175 bytes are more "
                                           "than the printer's memory holds"),
            0u);
        EXPECT_TRUE(memory.empty());
    }

    TEST(PrinterMemory, TheSameMemoryWhereverTheJobIsSplit)
    {
        const std::string job
            = kNvGraphics + kDownload + kInitialize + kLogos + kImage + kCharacter;
        const PrinterMemory whole = After(job);
        for (std::size_t cut = 1; cut < job.size(); ++cut) {
            PrinterMemory memory;
            MemoryReader reader(memory, Language::EscPos);
            reader.feed(std::string_view(job).substr(0, cut));
            reader.feed(std::string_view(job).substr(cut));
            ASSERT_EQ(PrinterMemoryJson(memory, "generic"), PrinterMemoryJson(whole, "generic"))
                << "cut at " << cut;
        }
        EXPECT_EQ(PrinterMemoryJson(whole, "generic"),
            "{\"printer\":\"generic\",\"nv\":{\"used\":38,\"capacity\":262144},\"download\":{"
            "\"used\":0,"
            "\"capacity\":262144},\"stored\":[{\"kind\":\"NV "
            "graphics\",\"key\":\"A1\",\"bytes\":26,\"kept\":"
            "\"non-volatile\"},{\"kind\":\"NV bit "
            "images\",\"key\":\"1\",\"bytes\":12,\"kept\":\"non-volatile\"},"
            "{\"kind\":\"user-defined character\",\"key\":\"A\",\"bytes\":36,\"kept\":\"until ESC "
            "@ or a restart\"}]}");
    }

} // namespace
} // namespace ostrel::test
