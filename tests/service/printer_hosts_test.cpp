// One suite, run against both hosts of a printer: the window's (one capture
// session every port feeds) and ostrel-capture's (a printer unit, each
// connection a job). A program on TCP must not tell them apart.

#include "serial/qt_serial_control.h"
#include "serial/serial_source.h"
#include "service/printer_unit.h"
#include "service/session_printer.h"
#include "tests/capture/capture_fixture.h"
#include "tests/net/loopback_client.h"

#include <gtest/gtest.h>

#include <sstream>

namespace ostrel::test {
namespace {

    ListenAddress AnyLoopbackPort()
    {
        ListenAddress where;
        std::string error;
        EXPECT_TRUE(ParseListenAddress("127.0.0.1:0", where, error)) << error;
        return where;
    }

    const receipt::PrinterProfile& Model(const std::string& id)
    {
        const receipt::PrinterProfile* model = receipt::FindPrinterProfile(id);
        EXPECT_NE(model, nullptr) << id;
        return model != nullptr ? *model : receipt::GenericProfile();
    }

    class ServiceHost {
    public:
        explicit ServiceHost(const std::string& model)
        {
            PrinterOptions options;
            options.listen = AnyLoopbackPort();
            options.printer = model;
            SetModel(options.state, Model(model));
            unit_ = std::make_unique<PrinterUnit>(options, said_);
            std::string error;
            EXPECT_TRUE(unit_->start(error)) << error;
        }
        ~ServiceHost() { unit_->stop(); }
        int port() const
        {
            return std::stoi(unit_->listeningOn().substr(unit_->listeningOn().rfind(':') + 1));
        }
        void setState(const PrinterState& state) { unit_->setStateByHand(state, ""); }

    private:
        std::ostringstream said_;
        std::unique_ptr<PrinterUnit> unit_;
    };

    class WindowHost {
    public:
        explicit WindowHost(const std::string& model)
            : serialSource_(serialLine_)
        {
            SessionPrinterOptions options;
            options.listen = AnyLoopbackPort();
            printer_
                = std::make_unique<SessionPrinter>(session_, serialLine_, serialSource_, options);
            printer_->setModel(Model(model));
            std::string error;
            EXPECT_TRUE(printer_->start(Model(model), error)) << error;
        }
        ~WindowHost() { printer_->finish(); }
        int port() const
        {
            return std::stoi(
                printer_->listeningOn().substr(printer_->listeningOn().rfind(':') + 1));
        }
        void setState(const PrinterState& state)
        {
            PrinterState kept = state;
            kept.maker = session_.printerState().maker;
            kept.model = session_.printerState().model;
            printer_->setState(kept);
        }

    private:
        CaptureSession session_;
        QtSerialControl serialLine_;
        SerialSource serialSource_;
        std::unique_ptr<SessionPrinter> printer_;
    };

    template <typename Host> class PrinterHosts : public ::testing::Test {
    };
    using Hosts = ::testing::Types<ServiceHost, WindowHost>;
    TYPED_TEST_SUITE(PrinterHosts, Hosts);

    // What one connection gets back for what it sends, up to `most` bytes (all
    // that come within a moment), the connection closed after.
    std::string Answer(int port, const std::string& bytes, std::size_t most = 64)
    {
        LoopbackClient client("127.0.0.1", port);
        client.send(bytes);
        return client.receive(most, std::chrono::milliseconds(500));
    }

    TYPED_TEST(PrinterHosts, AnswerEachConnectionFromTheStateSetByHand)
    {
        TypeParam host("epson-tm-t88vi");
        EXPECT_EQ(Answer(host.port(), "TEA 2.50\n" + Bytes("10 04 04"), 1), Bytes("12"));
        PrinterState out;
        out.paperOut = true;
        host.setState(out);
        EXPECT_EQ(Answer(host.port(), Bytes("10 04 04 1D 49 42")).substr(0, 1), Bytes("72"));
        host.setState(PrinterState {});
        EXPECT_EQ(Answer(host.port(), Bytes("10 04 04"), 1), Bytes("12"));
    }

    // The same bytes inside a picture's data are no request.
    TYPED_TEST(PrinterHosts, PassOverRequestsInsidePictures)
    {
        TypeParam host("epson-tm-t88vi");
        const std::string picture = Bytes("1D 76 30 00 02 00 02 00") + Bytes("10 04 04 00");
        EXPECT_EQ(Answer(host.port(), picture + Bytes("10 04 01")),
            Answer(host.port(), Bytes("10 04 01")));
    }

    // Star's ETB count is the printer's: counted in one connection, told in the
    // next one's status.
    TYPED_TEST(PrinterHosts, KeepStarsEtbCountFromConnectionToConnection)
    {
        TypeParam host("star-tsp650ii-line");
        const std::string before = Answer(host.port(), Bytes("1B 06 01"));
        ASSERT_FALSE(before.empty());
        Answer(host.port(), "job\n" + Bytes("17"));
        EXPECT_NE(Answer(host.port(), Bytes("1B 06 01")), before);
    }

    // Automatic status back, turned on in one connection, tells the next of a
    // change until it is turned off.
    TYPED_TEST(PrinterHosts, KeepAutomaticStatusOnFromConnectionToConnection)
    {
        TypeParam host("epson-tm-t88vi");
        EXPECT_EQ(Answer(host.port(), Bytes("1D 61 0F")).size(), 4u) << "GS a answers at once";
        const auto changeHeard = [&host](bool paperOut) {
            LoopbackClient client("127.0.0.1", host.port());
            client.send("next\n");
            client.receive(1, std::chrono::milliseconds(200)); // the connection is taken
            PrinterState state;
            state.paperOut = paperOut;
            host.setState(state);
            return client.receive(4, std::chrono::milliseconds(500));
        };
        EXPECT_EQ(changeHeard(true).size(), 4u);
        Answer(host.port(), Bytes("1D 61 00"));
        EXPECT_EQ(changeHeard(false), "");
    }

    // A printer that is stopping takes no more documents, and a web till is told
    // so rather than that its document printed.
    TEST(PrinterUnitStopping, TellsAWebTillItTookNothing)
    {
        PrinterOptions options;
        options.webPrint = AnyLoopbackPort();
        options.printer = "epson-tm-t88vi";
        std::ostringstream said;
        PrinterUnit unit(options, said);
        std::string error;
        ASSERT_TRUE(unit.start(error)) << error;
        const std::string where = unit.where();
        const int port = std::stoi(where.substr(where.rfind(':') + 1));
        unit.stop();
        const std::string document = "<epos-print "
                                     "xmlns=\"http://www.epson-pos.com/schemas/2011/03/"
                                     "epos-print\"><text>TEA&#10;</text></epos-print>";
        LoopbackClient till("127.0.0.1", port);
        till.send("POST /cgi-bin/epos/service.cgi HTTP/1.1\r\nHost: printer\r\nContent-Length: "
            + std::to_string(document.size()) + "\r\n\r\n" + document);
        const std::string answer = till.receive(4096, std::chrono::milliseconds(1000));
        EXPECT_EQ(answer.rfind("HTTP/1.1 503", 0), 0u) << answer;
    }

} // namespace
} // namespace ostrel::test
