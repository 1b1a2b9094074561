// The printer's side of Epson's Server Direct Print against a server written
// here from Epson's manual: print requests asked for with the printer's ID,
// each ePOS-Print document printed, the results posted with their job IDs.

#include "net/epos_print_document.h"
#include "net/server_direct_print_client.h"
#include "receipt/receipt_printer.h"
#include "receipt/symbol_geometry.h"
#include "tests/net/polling_server.h"

#include <QUrlQuery>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <climits>

namespace ostrel::test {
namespace {

    using Request = PollingServer::Request;

    QByteArray Document(const char* text)
    {
        return QByteArray("<epos-print "
                          "xmlns=\"http://www.epson-pos.com/schemas/2011/03/epos-print\"><text>")
            + text + "&#10;</text><cut type=\"feed\"/></epos-print>";
    }

    QByteArray Entry(const char* devid, const char* id, const QByteArray& document)
    {
        return QByteArray("<ePOSPrint><Parameter><devid>") + devid
            + "</devid><timeout>10000</timeout>"
            + (id ? QByteArray("<printjobid>") + id + "</printjobid>" : QByteArray())
            + "</Parameter><PrintData>" + document + "</PrintData></ePOSPrint>";
    }

    QByteArray RequestInfo(const char* version, const QByteArray& entries)
    {
        return QByteArray(
                   "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<PrintRequestInfo Version=\"")
            + version + "\">" + entries + "</PrintRequestInfo>\n";
    }

    std::string Text(const std::string& commands)
    {
        receipt::EstimatedSymbolGeometry geometry;
        receipt::ReceiptPrinter printer(geometry);
        printer.setProfile(*receipt::FindPrinterProfile("epson-tm-t88vi"));
        printer.feed(commands);
        printer.finish();
        std::string text;
        for (const receipt::Receipt& receipt : printer.receipts())
            for (const receipt::PaperItem& item : receipt.items)
                if (auto* run = std::get_if<receipt::TextRun>(&item.what))
                    for (char32_t c : run->text)
                        text += static_cast<char>(c);
        return text;
    }

    // What a server reads from the ResponseFile: each response, with the job
    // ID before it.
    struct Result {
        std::string printJobId, success, code;
    };
    std::vector<Result> Results(const Request& request, std::string* version = nullptr)
    {
        const QUrlQuery form(QString::fromUtf8(request.body));
        QXmlStreamReader xml(form.queryItemValue("ResponseFile", QUrl::FullyDecoded).toUtf8());
        std::vector<Result> results;
        std::string id;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"PrintResponseInfo" && version)
                *version = xml.attributes().value("Version").toString().toStdString();
            if (xml.name() == u"printjobid")
                id = xml.readElementText().toStdString();
            if (xml.name() == u"response" || xml.name() == u"Response")
                results.push_back({ id,
                    xml.attributes().value("success").toString().toStdString()
                        + xml.attributes().value("Success").toString().toStdString(),
                    xml.attributes().value("code").toString().toStdString() });
        }
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        return results;
    }

    struct Printer {
        PrinterState now;
        long long printedAt = 0, onPaper = LLONG_MAX; // a printer in time's
        std::vector<ServerDirectPrintClient::Job> jobs;
        std::vector<std::string> said;
        std::unique_ptr<ServerDirectPrintClient> client;
        explicit Printer(const PollingServer& server)
        {
            ServerDirectPrintClient::Settings settings;
            settings.url = server.url("/sdp.php").toStdString();
            settings.id = "till 1&2";
            settings.name = "front";
            settings.printer = "epson-tm-t88vi";
            settings.pollInterval = std::chrono::milliseconds(20);
            settings.timeout = std::chrono::milliseconds(1500);
            client = std::make_unique<ServerDirectPrintClient>(settings);
            client->state = [this] { return now; };
            client->printed = [this] { return onPaper; };
            client->print = [this](ServerDirectPrintClient::Job job) {
                jobs.push_back(job);
                return ServerDirectPrintClient::Printing { now, printedAt };
            };
            client->said = [this](const std::string& line) { said.push_back(line); };
            std::string error;
            EXPECT_TRUE(client->start(error)) << error;
        }
    };

    // Hands `answer` to the first request for print requests, nothing after.
    struct Server {
        explicit Server(QByteArray first)
            : answer(std::move(first))
        {
        }
        QByteArray answer;
        std::vector<Request> results;
        PollingServer http { [this](const Request& request) {
            PollingServer::Answer reply;
            reply.contentType = "text/xml; charset=utf-8";
            const QUrlQuery form(QString::fromUtf8(request.body));
            if (form.queryItemValue("ConnectionType") == "SetResponse")
                results.push_back(request);
            else
                reply.body = std::exchange(answer, QByteArray());
            return reply;
        } };
    };

    TEST(ServerDirectPrint, BothDocumentsPrintAndTheirResultsArePosted)
    {
        Server server(RequestInfo("2.00",
            Entry("local_printer", "A1", Document("Hello"))
                + Entry("local_printer", "B-2.x", Document("World"))));
        Printer printer(server.http);
        ASSERT_TRUE(RunUntil([&] { return !server.results.empty(); }));
        const QUrlQuery asked(QString::fromUtf8(server.http.requests[0].body));
        EXPECT_EQ(asked.queryItemValue("ConnectionType"), "GetRequest");
        EXPECT_EQ(asked.queryItemValue("ID", QUrl::FullyDecoded), "till 1&2");
        EXPECT_EQ(asked.queryItemValue("Name"), "front");
        ASSERT_EQ(printer.jobs.size(), 2u);
        EXPECT_EQ(Text(printer.jobs[0].commands), "Hello");
        EXPECT_EQ(Text(printer.jobs[1].commands), "World");
        EXPECT_EQ(printer.jobs[1].printJobId, "B-2.x");
        std::string error;
        EXPECT_EQ(ReadEposPrintRequest(QByteArray::fromStdString(printer.jobs[0].document), error)
                      .commands,
            printer.jobs[0].commands)
            << "the document kept reads as the one printed";
        std::string version;
        const std::vector<Result> results = Results(server.results[0], &version);
        EXPECT_EQ(version, "2.00");
        ASSERT_EQ(results.size(), 2u);
        EXPECT_EQ(results[0].printJobId, "A1");
        EXPECT_EQ(results[1].printJobId, "B-2.x");
        for (const Result& result : results)
            EXPECT_EQ(result.success + result.code, "true");
        EXPECT_TRUE(printer.said.empty());
    }

    TEST(ServerDirectPrint, DocumentsThatCannotPrintSayWhy)
    {
        const struct {
            QByteArray entry;
            const char* code;
        } rows[] = {
            { Entry("local_printer", "C",
                  "<epos-print xmlns=\"http://www.epson-pos.com/schemas/2011/03/epos-print\">"
                  "<nonsense/></epos-print>"),
                "SchemaError" },
            { Entry("kitchen_printer", "D", Document("x")), "DeviceNotFound" },
        };
        for (const auto& row : rows) {
            Server server(
                RequestInfo("1.00", row.entry + Entry("local_printer", nullptr, Document("fine"))));
            Printer printer(server.http);
            ASSERT_TRUE(RunUntil([&] { return !server.results.empty(); }));
            const std::vector<Result> results = Results(server.results[0]);
            ASSERT_EQ(results.size(), 2u) << row.code;
            EXPECT_EQ(results[0].success + results[0].code, std::string("false") + row.code);
            EXPECT_EQ(results[1].success, "true");
            ASSERT_EQ(printer.jobs.size(), 1u);
            EXPECT_EQ(Text(printer.jobs[0].commands), "fine");
            EXPECT_EQ(printer.said.size(), 1u) << row.code;
        }
    }

    TEST(ServerDirectPrint, ACoverOpenPrintsNothingAndSaysSo)
    {
        Server server(RequestInfo("1.00", Entry("local_printer", nullptr, Document("x"))));
        Printer printer(server.http);
        printer.now.coverOpen = true;
        ASSERT_TRUE(RunUntil([&] { return !server.results.empty(); }));
        std::string version;
        const std::vector<Result> results = Results(server.results[0], &version);
        EXPECT_EQ(version, "1.00");
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].success + results[0].code, "falseEPTR_COVER_OPEN");
        EXPECT_TRUE(printer.jobs.empty());
    }

    TEST(ServerDirectPrint, APrinterInTimeAnswersOnceOnPaperOrWithWhatStoppedIt)
    {
        Server server(RequestInfo("2.00",
            Entry("local_printer", "A", Document("a"))
                + Entry("local_printer", "B", Document("b"))));
        Printer printer(server.http);
        printer.printedAt = 100;
        printer.onPaper = 0;
        ASSERT_TRUE(RunUntil([&] { return printer.jobs.size() == 1; }));
        printer.printedAt = 200; // the second one's
        printer.onPaper = 100;
        ASSERT_TRUE(RunUntil([&] { return printer.jobs.size() == 2; }));
        printer.now.paperOut = true;
        ASSERT_TRUE(RunUntil([&] { return !server.results.empty(); }));
        const std::vector<Result> results = Results(server.results[0]);
        ASSERT_EQ(results.size(), 2u);
        EXPECT_EQ(results[0].success + results[0].code, "true");
        EXPECT_EQ(results[1].success + results[1].code, "falseEPTR_REC_EMPTY");
    }

    TEST(ServerDirectPrint, ACustomerDisplaysRequestIsAnsweredAsWithNoneConnected)
    {
        Server server(RequestInfo("3.00",
            Entry("local_printer", "P", Document("p"))
                + "<ePOSDisplay><Parameter><devid>local_display</devid><printjobid>D</printjobid>"
                  "</Parameter><DisplayData><epos-display/></DisplayData></ePOSDisplay>"));
        Printer printer(server.http);
        ASSERT_TRUE(RunUntil([&] { return !server.results.empty(); }));
        std::string version;
        const std::vector<Result> results = Results(server.results[0], &version);
        EXPECT_EQ(version, "3.00");
        ASSERT_EQ(results.size(), 3u) << "the answer's own, the printer's and the display's";
        EXPECT_EQ(results[0].success, "true");
        EXPECT_EQ(results[1].printJobId + results[1].success, "Ptrue");
        EXPECT_EQ(
            results[2].printJobId + results[2].success + results[2].code, "DfalseEDSP_NOT_FOUND");
        EXPECT_EQ(printer.jobs.size(), 1u);
    }

    TEST(ServerDirectPrint, ResultsTheServerDidNotTakeArePostedAgainFirst)
    {
        int refusals = 1;
        QByteArray first = RequestInfo("2.00", Entry("local_printer", "R", Document("r")));
        std::vector<QByteArray> posted;
        PollingServer http([&](const Request& request) {
            PollingServer::Answer reply;
            const QUrlQuery form(QString::fromUtf8(request.body));
            if (form.queryItemValue("ConnectionType") == "SetResponse") {
                posted.push_back(form.queryItemValue("ResponseFile", QUrl::FullyDecoded).toUtf8());
                reply.status = refusals-- > 0 ? 503 : 200;
            } else {
                reply.body = std::exchange(first, QByteArray());
            }
            return reply;
        });
        Printer printer(http);
        ASSERT_TRUE(RunUntil([&] { return posted.size() == 2 && http.requests.size() >= 4; }));
        EXPECT_EQ(posted[0], posted[1]);
        EXPECT_EQ(http.requests[2].body.left(24), "ConnectionType=SetRespon")
            << "before asking again";
        EXPECT_EQ(printer.jobs.size(), 1u);
        EXPECT_EQ(printer.said.size(), 2u) << "the refusal, and the server answering again";
    }

    TEST(ServerDirectPrint, AnAnswerThatIsNotPrintRequestsIsRefusedOnce)
    {
        Server server("<html><body>Welcome</body></html>");
        Printer printer(server.http);
        ASSERT_TRUE(RunUntil([&] { return server.http.requests.size() >= 5; }));
        ASSERT_EQ(server.results.size(), 1u);
        const std::vector<Result> results = Results(server.results[0]);
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].success, "false");
        EXPECT_EQ(printer.said.size(), 2u) << "the trouble, and the server answering again";
        EXPECT_TRUE(printer.jobs.empty());
    }

} // namespace
} // namespace ostrel::test
