// Reading the settings text and the port number, and finding the device.

#include "serial/line_settings.h"
#include "serial/port_number.h"
#include "serial/serial_control.h"
#include "tests/serial/pseudo_terminal.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ostrel::test {
namespace {

    using P = LineSettings::Parity;
    using S = LineSettings::StopBits;

    struct GoodSettings {
        const char* text;
        int baud;
        P parity;
        int dataBits;
        S stopBits;
    };

    TEST(LineSettingsText, AcceptedForms)
    {
        const GoodSettings cases[] = {
            { "19200,N,8,1", 19200, P::None, 8, S::One },
            { "115200, N, 7, 2", 115200, P::None, 7, S::Two },
            { "115200, N, 8, 1", 115200, P::None, 8, S::One },
            { "600, N, 8, 1", 600, P::None, 8, S::One },
            { "9600,E,7,1.5", 9600, P::Even, 7, S::OneAndHalf },
            { "1200,o,5,1", 1200, P::Odd, 5, S::One },
            { "300,M,6,2", 300, P::Mark, 6, S::Two },
            { "12345,S,8,1", 12345, P::Space, 8, S::One },
            { " 9600 ,N , 8,1 ", 9600, P::None, 8, S::One },
        };
        for (const GoodSettings& c : cases) {
            SCOPED_TRACE(c.text);
            const LineSettings s = ParseLineSettings(c.text);
            EXPECT_EQ(s.baudRate, c.baud);
            EXPECT_EQ(s.parity, c.parity);
            EXPECT_EQ(s.dataBits, c.dataBits);
            EXPECT_EQ(s.stopBits, c.stopBits);
        }
    }

    TEST(LineSettingsText, EachWrongPartIsNamed)
    {
        const std::pair<const char*, const char*> cases[] = {
            { "", "four parts" },
            { "19200,N,8", "four parts" },
            { "19200,N,8,1,1", "four parts" },
            { "fast,N,8,1", "baud rate \"fast\"" },
            { "0,N,8,1", "baud rate \"0\"" },
            { "-9600,N,8,1", "baud rate \"-9600\"" },
            { "99999999999,N,8,1", "baud rate" },
            { ",N,8,1", "baud rate \"\"" },
            { "19200,X,8,1", "parity \"X\"" },
            { "19200,None,8,1", "parity \"None\"" },
            { "19200,N,9,1", "data bits \"9\"" },
            { "19200,N,4,1", "data bits \"4\"" },
            { "19200,N,eight,1", "data bits" },
            { "19200,N,8,3", "stop bits \"3\"" },
            { "19200,N,8,1.0", "stop bits \"1.0\"" },
        };
        for (const auto& [text, named] : cases) {
            SCOPED_TRACE(text);
            try {
                ParseLineSettings(text);
                ADD_FAILURE() << "accepted";
            } catch (const SerialError& error) {
                EXPECT_NE(std::string(error.what()).find(named), std::string::npos) << error.what();
            }
        }
    }

    TEST(PortNumberText, LeadingNumberRoundedHalfToEven)
    {
        const std::pair<const char*, int> cases[] = {
            { "1", 1 },
            { "3", 3 },
            { "8", 8 },
            { "12", 12 },
            { "2.5", 2 },
            { "3.5", 4 },
            { "0.5", 0 },
            { "1.5", 2 },
            { "4.4", 4 },
            { "4.6", 5 },
            { "COM3", 0 },
            { "", 0 },
            { " 7", 7 },
            { "7 (USB)", 7 },
            { "12abc", 12 },
            { "+4", 4 },
            { "-1", -1 },
            { ".5", 0 },
            { "32767", 32767 },
            { "-32768", -32768 },
        };
        for (const auto& [text, port] : cases)
            EXPECT_EQ(PortNumberFromText(text), port) << '"' << text << '"';
    }

    TEST(PortNumberText, OutsideSixteenBitsFails)
    {
        for (const char* text : { "32768", "40000", "-32769", "99999999999999999999" })
            EXPECT_THROW(PortNumberFromText(text), SerialError) << text;
    }

    TEST(PortNumberText, ShownUnroundedInShortestForm)
    {
        const std::pair<const char*, const char*> cases[] = {
            { "2.5", "2.5" },
            { "2.50", "2.5" },
            { "007", "7" },
            { "COM3", "0" },
            { "3", "3" },
            { "-0", "0" },
            { "40000", "40000" },
            { "1.25x", "1.25" },
        };
        for (const auto& [text, shown] : cases)
            EXPECT_EQ(ShortestDecimal(LeadingNumber(text)), shown) << text;
    }

    TEST(PortDevices, LinkedNumbersAndTheFallback)
    {
        PortLinks links;
        links.link(2, "/dev/pts/9");
        links.link(4, "ttyUSB0"); // relative to the folder of the links
        const std::string folder = PortLinkFolder();
        EXPECT_EQ(PortDevice(2), "/dev/pts/9");
        EXPECT_EQ(PortDevice(4), folder + "/ttyUSB0");
        EXPECT_EQ(PortDevice(1), "/dev/ttyS0");
        EXPECT_EQ(PortDevice(3), "/dev/ttyS2");
        EXPECT_EQ(folder.substr(folder.size() - 22), "/ostrel-serial-capture");
    }

    TEST(PortDevices, FolderFollowsXdgConfigHomeOrHome)
    {
        PortLinks links; // restores XDG_CONFIG_HOME afterwards
        ::setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
        EXPECT_EQ(PortLinkFolder(), "/somewhere/config/ostrel-serial-capture");
        ::unsetenv("XDG_CONFIG_HOME");
        const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
        EXPECT_EQ(PortLinkFolder(), home + "/.config/ostrel-serial-capture");
    }

} // namespace
} // namespace ostrel::test
