// A printer of ostrel-capture fed by the servers it polls: the jobs they hand
// it are its jobs, with what came kept beside them.

#include "service/capture_service.h"
#include "service/printer_unit.h"
#include "tests/net/polling_server.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <sstream>

namespace ostrel::test {
namespace {

    QByteArray Read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TEST(PollingIntake, ACloudPrntPictureIsAJobWithThePictureBeside)
    {
        QImage image(40, 24, QImage::Format_Mono);
        image.fill(0);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        bool confirmed = false;
        PollingServer server([&](const PollingServer::Request& request) {
            PollingServer::Answer answer;
            if (request.method == "POST")
                answer.body = confirmed ? R"({"jobReady":false})"
                                        : R"({"jobReady":true,"mediaTypes":["image/png"]})";
            else if (request.method == "DELETE")
                confirmed = request.query("code") == "200 OK";
            else
                answer.contentType = "image/png", answer.body = png;
            return answer;
        });
        QTemporaryDir folder;
        PrinterOptions options;
        options.printer = "star-tsp100iv";
        options.out = folder.path().toStdString();
        options.cloudPrnt = server.url().toStdString();
        std::ostringstream said;
        PrinterUnit printer(options, said);
        std::vector<std::string> lines;
        printer.jobFinished = [&lines](const std::string& line) { lines.push_back(line); };
        std::string error;
        ASSERT_TRUE(printer.start(error)) << error;
        ASSERT_TRUE(RunUntil([&] { return confirmed; })) << said.str();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(
            lines[0].find("\"source\":\"cloudprnt " + options.cloudPrnt + "\""), std::string::npos)
            << lines[0];
        EXPECT_NE(lines[0].find("\"cloudprnt_media_type\":\"image/png\""), std::string::npos)
            << lines[0];
        EXPECT_EQ(Read(folder.filePath("job-0001.png")), png);
        // The picture went to the model as its raster command: ESC GS S.
        EXPECT_TRUE(Read(folder.filePath("job-0001.bin")).contains("\x1b\x1dS\x01"));
        printer.stop();
    }

    TEST(PollingIntake, AServerDirectPrintDocumentIsAJobWithTheDocumentBeside)
    {
        const QByteArray document = "<epos-print "
                                    "xmlns=\"http://www.epson-pos.com/schemas/2011/03/"
                                    "epos-print\"><text>Hi&#10;</text></epos-print>";
        QByteArray result;
        PollingServer server([&](const PollingServer::Request& request) {
            PollingServer::Answer answer;
            const QUrlQuery form(QString::fromUtf8(request.body));
            if (form.queryItemValue("ConnectionType") == "SetResponse")
                result = form.queryItemValue("ResponseFile", QUrl::FullyDecoded).toUtf8();
            else if (result.isEmpty())
                answer.body = "<PrintRequestInfo "
                              "Version=\"2.00\"><ePOSPrint><Parameter><devid>local_printer</devid>"
                              "<printjobid>J1</printjobid></Parameter><PrintData>"
                    + document + "</PrintData></ePOSPrint></PrintRequestInfo>";
            return answer;
        });
        QTemporaryDir folder;
        PrinterOptions options;
        options.printer = "epson-tm-t88vi";
        options.out = folder.path().toStdString();
        options.serverDirectPrint = server.url().toStdString();
        options.sdpId = "T1";
        std::ostringstream said;
        PrinterUnit printer(options, said);
        std::vector<std::string> lines;
        printer.jobFinished = [&lines](const std::string& line) { lines.push_back(line); };
        std::string error;
        ASSERT_TRUE(printer.start(error)) << error;
        ASSERT_TRUE(RunUntil([&] { return !result.isEmpty(); })) << said.str();
        EXPECT_TRUE(result.contains("<printjobid>J1</printjobid>")) << result.toStdString();
        EXPECT_TRUE(result.contains("success=\"true\"")) << result.toStdString();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("\"sdp_printjobid\":\"J1\""), std::string::npos) << lines[0];
        // The <PrintData> as the printer read it, written out again.
        EXPECT_TRUE(Read(folder.filePath("job-0001.xml"))
                        .contains("<epos-print "
                                  "xmlns=\"http://www.epson-pos.com/schemas/2011/03/"
                                  "epos-print\"><text>Hi\n</text>"))
            << Read(folder.filePath("job-0001.xml")).toStdString();
        EXPECT_TRUE(Read(folder.filePath("job-0001.bin")).contains("Hi\n"));
        printer.stop();
    }

    // With --jobs, the program ends once its last job is confirmed to the
    // server it came from, not as soon as its files are written.
    TEST(PollingIntake, TheServiceEndsOnlyOnceItsLastCloudJobIsConfirmed)
    {
        bool confirmed = false;
        PollingServer server([&](const PollingServer::Request& request) {
            PollingServer::Answer answer;
            if (request.method == "POST")
                answer.body = confirmed ? R"({"jobReady":false})"
                                        : R"({"jobReady":true,"mediaTypes":["text/plain"]})";
            else if (request.method == "DELETE")
                confirmed = true;
            else
                answer.contentType = "text/plain", answer.body = "TWO COFFEES\n";
            return answer;
        });
        CaptureServiceOptions options;
        options.printer = "star-tsp100iv";
        options.cloudPrnt = server.url().toStdString();
        options.jobs = 1;
        std::ostringstream out, err;
        CaptureService service(options, out, err);
        int status = -1;
        bool confirmedAtTheEnd = false;
        service.ended = [&](int ended) {
            status = ended;
            confirmedAtTheEnd = confirmed;
        };
        std::string error;
        ASSERT_TRUE(service.start(error)) << error;
        ASSERT_TRUE(RunUntil([&] { return status >= 0; })) << err.str();
        EXPECT_EQ(status, 0) << err.str();
        EXPECT_TRUE(confirmedAtTheEnd) << "the job's confirmation was still to be sent";
    }

    // A printer that is stopping takes no job, and does not tell the server
    // it printed one: the job stays there for later.
    TEST(PollingIntake, AStoppingPrinterConfirmsNoCloudJob)
    {
        int fetched = 0, confirmed = 0;
        PollingServer server([&](const PollingServer::Request& request) {
            PollingServer::Answer answer;
            if (request.method == "POST")
                answer.body = R"({"jobReady":true,"mediaTypes":["text/plain"]})";
            else if (request.method == "DELETE")
                ++confirmed;
            else
                ++fetched, answer.contentType = "text/plain", answer.body = "TEA\n";
            return answer;
        });
        PrinterOptions options;
        options.printer = "star-tsp100iv";
        options.cloudPrnt = server.url().toStdString();
        std::ostringstream said;
        PrinterUnit printer(options, said);
        std::string error;
        ASSERT_TRUE(printer.start(error)) << error;
        printer.stop();
        // A job confirmed would be confirmed before the next fetch.
        ASSERT_TRUE(RunUntil([&] { return fetched >= 2; })) << said.str();
        EXPECT_EQ(confirmed, 0) << said.str();
    }

} // namespace
} // namespace ostrel::test
