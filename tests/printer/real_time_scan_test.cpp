#include "printer/real_time_scan.h"
#include "receipt/command_table.h"

#include "tests/receipt/whole_command.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

    using receipt::Language;
    using receipt::Role;

    bool AsksAtOnce(Role role, Language language)
    {
        const bool star = language == Language::StarLine || language == Language::StarPrnt;
        return (role >= Role::RealTimeStatus && role <= Role::StarEtbReset)
            || (role == Role::Initializes && !star);
    }

    // Each row the table calls a request is found as one, whole or a byte at a
    // time, and ends where the command does; no other row is.
    TEST(RealTimeScan, FindsARequestWhereTheTableSaysOne)
    {
        for (const Language language :
            { Language::EscPos, Language::StarLine, Language::StarPrnt, Language::StarEscPos }) {
            int requests = 0;
            for (const receipt::CommandRow& row : receipt::TableOf(language).rows()) {
                const std::string command = test::WholeCommandOf(row);
                if (command.empty())
                    continue;
                SCOPED_TRACE(std::string(receipt::LanguageName(language)) + ": " + row.name);
                RealTimeScan whole, bytewise;
                whole.setLanguage(language);
                bytewise.setLanguage(language);
                const auto found = whole.scan(command);
                std::vector<RealTimeRequest> apart;
                for (const char byte : command)
                    for (const RealTimeRequest& request : bytewise.scan(std::string_view(&byte, 1)))
                        apart.push_back(request);
                const bool asks = AsksAtOnce(row.role, language);
                ASSERT_EQ(found.size(), asks ? 1u : 0u);
                ASSERT_EQ(apart.size(), found.size());
                if (asks) {
                    ++requests;
                    EXPECT_EQ(found[0].end, command.size());
                    EXPECT_EQ(apart[0].end, 1u);
                    EXPECT_EQ(found[0].kind, apart[0].kind);
                    EXPECT_EQ(found[0].n, apart[0].n);
                }
            }
            EXPECT_GE(requests, 4) << receipt::LanguageName(language);
        }
    }

    // The same bytes inside an image's data are no request.
    TEST(RealTimeScan, PassesOverRequestsInsideData)
    {
        const std::string image = std::string("\x1d"
                                              "v0\x00\x02\x00\x02\x00",
                                      8)
            + "\x10\x04\x01\x1d"
              "r\x01"
              "\x10\x04\x02";
        for (std::size_t cut = 0; cut <= image.size(); ++cut) {
            RealTimeScan scan;
            scan.setLanguage(Language::EscPos);
            const auto first = scan.scan(std::string_view(image).substr(0, cut));
            const auto second = scan.scan(std::string_view(image).substr(cut));
            ASSERT_EQ(first.size() + second.size(), 1u) << "cut at " << cut;
            const RealTimeRequest& request = first.empty() ? second[0] : first[0];
            EXPECT_EQ(request.kind, RealTimeRequest::Kind::RealTimeStatus);
            EXPECT_EQ(request.n, 2);
        }
    }

    // In Star's raster mode too: a raster line's data holding ENQ, EOT and
    // ESC ACK SOH is no request; the ENQ after the line is one.
    TEST(RealTimeScan, PassesOverRequestsInsideStarRasterLines)
    {
        const std::string job = std::string("\x1b*rA"
                                            "b\x05\x00"
                                            "\x05\x04\x1b\x06\x01"
                                            "\x05"
                                            "\x1b\x0c\x04"
                                            "\x1b*rB",
            20);
        for (std::size_t cut = 0; cut <= job.size(); ++cut) {
            RealTimeScan scan;
            scan.setLanguage(Language::StarPrnt);
            const auto first = scan.scan(std::string_view(job).substr(0, cut));
            const auto second = scan.scan(std::string_view(job).substr(cut));
            ASSERT_EQ(first.size() + second.size(), 1u) << "cut at " << cut;
            EXPECT_EQ((first.empty() ? second[0] : first[0]).kind, RealTimeRequest::Kind::StarEnq);
        }
    }

} // namespace
} // namespace ostrel
