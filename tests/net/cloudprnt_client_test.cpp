// The printer's side of Star CloudPRNT against a server written here from
// Star's protocol guide: polls with the state, jobs fetched in the type the
// model prints best, printed and confirmed; bad servers survived.

#include "net/cloudprnt_client.h"
#include "receipt/receipt_printer.h"
#include "receipt/symbol_geometry.h"
#include "render/picture_job.h"
#include "tests/net/polling_server.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslSocket>

#include <gtest/gtest.h>

#include <set>

namespace ostrel::test {
namespace {

    using receipt::JobEnding;
    using receipt::Language;
    using Answer = PollingServer::Answer;
    using Request = PollingServer::Request;

    // What a model made of a job: its text, its dots, its cuts and drawer pulses.
    struct Paper {
        std::string text;
        std::set<std::pair<int, int>> dots;
        int left = 0, top = 0, widest = 0;
        std::vector<receipt::MarkerKind> marks;
    };

    Paper Read(const std::string& model, const std::string& bytes)
    {
        receipt::EstimatedSymbolGeometry geometry;
        receipt::ReceiptPrinter printer(geometry);
        printer.setProfile(*receipt::FindPrinterProfile(model));
        printer.feed(bytes);
        printer.finish();
        Paper paper;
        bool first = true;
        for (const receipt::Receipt& receipt : printer.receipts())
            for (const receipt::PaperItem& item : receipt.items) {
                if (auto* run = std::get_if<receipt::TextRun>(&item.what))
                    for (char32_t c : run->text)
                        paper.text += static_cast<char>(c);
                if (auto* run = std::get_if<receipt::TextRun>(&item.what);
                    run && !run->text.empty())
                    paper.text += '|';
                if (auto* marker = std::get_if<receipt::Marker>(&item.what))
                    paper.marks.push_back(marker->kind);
                if (auto* image = std::get_if<receipt::BitImage>(&item.what)) {
                    if (first)
                        paper.left = image->x, paper.top = image->y, first = false;
                    paper.widest = std::max(paper.widest, image->width);
                    for (int r = 0; r < image->height; ++r)
                        for (int c = 0; c < image->width; ++c)
                            if (image->dot(c, r))
                                paper.dots.insert({ image->x + c, image->y + r });
                }
            }
        return paper;
    }

    // Black in blocks; the right edge transparent black, which prints white.
    bool Black(int x, int y) { return x < 90 && (x / 10 + y / 7) % 3 == 0; }

    QByteArray Picture(const char* format, int width = 100, int height = 300)
    {
        QImage image(width, height, QImage::Format_ARGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y,
                    x >= 90           ? qRgba(0, 0, 0, 0)
                        : Black(x, y) ? qRgb(0, 0, 0)
                                      : qRgb(255, 255, 255));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, format);
        return bytes;
    }

    QJsonObject Json(const QByteArray& body) { return QJsonDocument::fromJson(body).object(); }

    Answer Send(int status, QByteArray type, QByteArray body,
        std::vector<std::pair<QByteArray, QByteArray>> headers = {})
    {
        Answer answer;
        answer.status = status;
        answer.contentType = std::move(type);
        answer.body = std::move(body);
        answer.headers = std::move(headers);
        return answer;
    }

    Answer Poll(QJsonObject reply)
    {
        return Send(200, "application/json", QJsonDocument(reply).toJson());
    }

    // A printer of `model` polling `server` every few milliseconds, pictures
    // turned into its commands as ostrel-capture turns them.
    struct Printer {
        PrinterState now, afterPrint;
        bool failOnce = false;
        long long printedAt = 0; // a printer in time's: printed() must reach it
        std::vector<CloudPrntClient::Job> jobs;
        std::vector<std::string> said;
        std::unique_ptr<CloudPrntClient> client;

        Printer(
            const PollingServer& server, const std::string& model, long long maxJobBytes = 1 << 20)
        {
            CloudPrntClient::Settings settings;
            settings.url = server.url().toStdString();
            settings.pollInterval = std::chrono::milliseconds(20);
            settings.pollTimeout = settings.jobTimeout = std::chrono::milliseconds(1500);
            settings.maxJobBytes = maxJobBytes;
            settings.printerName = "till";
            settings.profile = receipt::FindPrinterProfile(model);
            client = std::make_unique<CloudPrntClient>(settings);
            client->state = [this] { return now; };
            client->print = [this](CloudPrntClient::Job job) {
                jobs.push_back(job);
                const bool fail = std::exchange(failOnce, false);
                return CloudPrntClient::Printing { fail ? afterPrint : now, printedAt };
            };
            client->picture
                = [profile = settings.profile](std::string_view data, const JobEnding& ending,
                      bool dither, std::string& commands, std::string& why) {
                      return render::PictureCommands(data, *profile, ending, dither, commands, why);
                  };
            client->said = [this](const std::string& line) { said.push_back(line); };
            std::string error;
            EXPECT_TRUE(client->start(error)) << error;
        }
        int told(const std::string& part) const
        {
            return static_cast<int>(std::count_if(
                said.begin(), said.end(), [&](auto& l) { return l.find(part) != l.npos; }));
        }
    };

    std::vector<Request> Of(const PollingServer& server, const QByteArray& method)
    {
        std::vector<Request> found;
        for (const Request& request : server.requests)
            if (request.method == method)
                found.push_back(request);
        return found;
    }

    // A server with one job in `types`, ready until it is confirmed.
    struct OneJob {
        QJsonArray types;
        Answer job;
        QJsonObject more;
        std::map<std::string, Answer> byType; // answers for a type other than the job's
        std::unique_ptr<PollingServer> server;
        bool confirmed = false;
        std::string code;
        explicit OneJob(QJsonArray offered, Answer fetched, QJsonObject extra = {})
            : types(std::move(offered))
            , job(std::move(fetched))
            , more(std::move(extra))
        {
            server = std::make_unique<PollingServer>([this](const Request& request) {
                if (request.method == "POST") {
                    QJsonObject reply = more;
                    reply["jobReady"] = !confirmed;
                    reply["mediaTypes"] = types;
                    reply["jobToken"] = "a+b&c";
                    return Poll(reply);
                }
                if (request.method == "DELETE" || request.has("delete")) {
                    confirmed = true;
                    code = request.query("code");
                    return Send(200, "text/plain", QByteArray());
                }
                auto other = byType.find(request.query("type"));
                return other != byType.end() ? other->second : job;
            });
        }
    };

    TEST(CloudPrnt, StatusCodesFollowStarsTable)
    {
        const struct {
            const char* state;
            const char* code;
        } rows[] = { { "", "200 OK" }, { "paper-near-end", "211 Paper Low" },
            { "paper-out", "410 Out of Paper" }, { "cover-open", "420 Cover Open" },
            { "cover-open,paper-out", "420 Cover Open" }, { "offline", "400 Printer Offline" },
            { "unrecoverable-error", "400 Printer Offline" } };
        for (const auto& row : rows) {
            PrinterState state;
            std::string error;
            ASSERT_TRUE(ParsePrinterState(row.state, state, error)) << error;
            EXPECT_EQ(CloudPrntStatusCode(state), row.code) << row.state;
            // The ASB in hex reads back to the bits Star's status gives.
            const std::string hex = CloudPrntStatusBytes(state);
            const int third = std::stoi(hex.substr(6, 2), nullptr, 16),
                      sixth = std::stoi(hex.substr(15, 2), nullptr, 16);
            EXPECT_EQ(hex.substr(0, 5), "23 86") << row.state;
            EXPECT_EQ(hex.size(), 11u * 3 - 1) << row.state;
            EXPECT_EQ((third & 0x20) != 0, state.coverOpen) << row.state;
            EXPECT_EQ((third & 0x08) != 0, state.isOffline()) << row.state;
            EXPECT_EQ((sixth & 0x08) != 0, state.paperOut) << row.state;
        }
    }

    TEST(CloudPrnt, TakesTheTypeItPrintsBest)
    {
        const std::vector<std::string> all { "image/jpeg", "image/png", "text/plain; charset=utf-8",
            "application/vnd.star.line", "application/vnd.star.starprnt" };
        EXPECT_EQ(ChooseCloudPrntMediaType(all, CloudPrntMediaTypes(Language::StarPrnt, true)),
            "application/vnd.star.starprnt");
        EXPECT_EQ(ChooseCloudPrntMediaType(all, CloudPrntMediaTypes(Language::StarLine, true)),
            "application/vnd.star.line");
        EXPECT_EQ(ChooseCloudPrntMediaType(all, CloudPrntMediaTypes(Language::EscPos, true)),
            "text/plain");
        EXPECT_EQ(ChooseCloudPrntMediaType(
                      { "image/jpeg", "IMAGE/PNG" }, CloudPrntMediaTypes(Language::EscPos, true)),
            "image/png");
        EXPECT_EQ(ChooseCloudPrntMediaType({ "image/png", "application/vnd.star.raster" },
                      CloudPrntMediaTypes(Language::StarLine, true)),
            "application/vnd.star.raster");
        EXPECT_EQ(ChooseCloudPrntMediaType(
                      { "image/png" }, CloudPrntMediaTypes(Language::StarPrnt, false)),
            "");
        EXPECT_EQ(ChooseCloudPrntMediaType(
                      { "application/pdf" }, CloudPrntMediaTypes(Language::StarPrnt, true)),
            "");
    }

    TEST(CloudPrnt, PlainTextIsItsLinesAndTheEndingAsked)
    {
        const struct {
            const char *cut, *drawer;
            std::vector<receipt::MarkerKind> marks;
        } rows[] = { { "", "", { receipt::MarkerKind::Cut } },
            { "partial; feed=false", "end",
                { receipt::MarkerKind::DrawerPulse, receipt::MarkerKind::PartialCut } },
            { "none", "start", { receipt::MarkerKind::DrawerPulse } } };
        for (const char* model : { "star-tsp100iv", "star-tsp650ii-line", "epson-tm-t88vi" })
            for (const auto& row : rows) {
                JobEnding ending;
                ReadStarJobHeaders(row.cut, row.drawer, ending);
                const Paper paper = Read(model,
                    receipt::PlainTextJob(receipt::FindPrinterProfile(model)->language,
                        "Total\r\n4.50\rpaid\x1b@\x1d"
                        "V",
                        ending));
                // Control bytes print as '?', so the text never becomes commands.
                EXPECT_EQ(paper.text, "Total|4.50|paid?@?V|") << model << " " << row.cut;
                EXPECT_EQ(paper.marks, row.marks) << model << " " << row.cut;
            }
    }

    TEST(CloudPrnt, CommandsAndPicturesPrintAndAreConfirmed)
    {
        const QByteArray starprnt("\x1b@Hello\n\x1b"
                                  "d\x03",
            10);
        for (const char* model : { "star-tsp100iv", "epson-tm-t88vi" }) {
            const bool star = std::string(model) == "star-tsp100iv";
            OneJob commands({ "image/png", "application/vnd.star.starprnt" },
                Send(200, "application/vnd.star.starprnt", starprnt));
            OneJob picture({ "image/png" },
                Send(200, "image/png", Picture("PNG"), { { "X-Star-Cut", "partial; feed=true" } }));
            commands.byType["image/png"] = picture.job;
            for (OneJob* server : { &commands, &picture }) {
                Printer printer(*server->server, model);
                ASSERT_TRUE(RunUntil([&] { return server->confirmed; })) << model;
                EXPECT_EQ(server->code, "200 OK") << model;
                const std::vector<Request> gets = Of(*server->server, "GET");
                ASSERT_EQ(gets.size(), 1u) << model;
                EXPECT_EQ(gets[0].query("token"), "a+b&c");
                EXPECT_EQ(gets[0].query("mac"), printer.client->macAddress());
                EXPECT_EQ(Json(Of(*server->server, "POST")[0].body)["printerMAC"]
                              .toString()
                              .toStdString(),
                    printer.client->macAddress());
                ASSERT_EQ(printer.jobs.size(), 1u) << model;
                const CloudPrntClient::Job& job = printer.jobs[0];
                if (server == &commands) {
                    // A Star model takes StarPRNT as it is; ESC/POS is offered none of its types
                    // but PNG.
                    EXPECT_EQ(gets[0].query("type"),
                        star ? "application/vnd.star.starprnt" : "image/png");
                    if (star) {
                        EXPECT_EQ(job.commands, starprnt.toStdString());
                        continue;
                    }
                }
                EXPECT_EQ(job.document, Picture("PNG").toStdString());
                EXPECT_EQ(job.documentExtension, "png");
                const Paper paper = Read(model, job.commands);
                int wrong = 0;
                for (int y = 0; y < 300; ++y)
                    for (int x = 0; x < 100; ++x)
                        wrong += paper.dots.count({ paper.left + x, paper.top + y })
                            != (Black(x, y) ? 1u : 0u);
                EXPECT_EQ(wrong, 0) << model;
                EXPECT_EQ(paper.marks, std::vector { receipt::MarkerKind::PartialCut }) << model;
            }
        }
    }

    TEST(CloudPrnt, PicturesWiderThanThePaperAreFittedToIt)
    {
        OneJob wide({ "image/jpeg" }, Send(200, "image/jpeg", Picture("JPEG", 1000, 40)));
        Printer printer(*wide.server, "star-mc-print2");
        ASSERT_TRUE(RunUntil([&] { return wide.confirmed; }));
        ASSERT_EQ(printer.jobs.size(), 1u);
        EXPECT_EQ(printer.jobs[0].documentExtension, "jpg");
        EXPECT_EQ(Read("star-mc-print2", printer.jobs[0].commands).widest, 384);
    }

    TEST(CloudPrnt, AnOfflinePrinterSaysWhyAndConfirmsNothing)
    {
        OneJob server({ "application/vnd.star.starprnt" },
            Send(200, "application/vnd.star.starprnt", "\x1b@x\n"));
        Printer printer(*server.server, "star-tsp100iv");
        printer.now.coverOpen = true;
        ASSERT_TRUE(RunUntil([&] { return Of(*server.server, "POST").size() >= 4; }));
        EXPECT_EQ(Json(Of(*server.server, "POST").back().body)["statusCode"].toString(),
            "420%20Cover%20Open");
        EXPECT_TRUE(Of(*server.server, "GET").empty());
        EXPECT_TRUE(Of(*server.server, "DELETE").empty());

        // Closed, it fetches the job; the cover opens as it prints: the server
        // hears it, the job stays and is fetched again once the printer is back.
        printer.now.coverOpen = false;
        printer.failOnce = true;
        printer.afterPrint.coverOpen = true;
        ASSERT_TRUE(RunUntil([&] { return server.confirmed; }));
        EXPECT_EQ(printer.jobs.size(), 2u);
        EXPECT_EQ(Of(*server.server, "GET").size(), 2u);
        EXPECT_EQ(Of(*server.server, "DELETE").size(), 1u);
        EXPECT_EQ(server.code, "200 OK");
        EXPECT_EQ(printer.told("420 Cover Open"), 1);
    }

    TEST(CloudPrnt, APrinterInTimeConfirmsOnceTheJobIsOnPaper)
    {
        OneJob server({ "application/vnd.star.starprnt" },
            Send(200, "application/vnd.star.starprnt", "\x1b@x\n"));
        Printer printer(*server.server, "star-tsp100iv");
        long long onPaper = 0;
        printer.printedAt = 100;
        printer.client->printed = [&onPaper] { return onPaper; };
        auto pollsSinceFetch = [&] {
            std::size_t polls = 0;
            for (const Request& request : server.server->requests)
                polls = request.method == "GET" ? 0 : polls + (request.method == "POST");
            return Of(*server.server, "GET").empty() ? 0 : polls;
        };
        ASSERT_TRUE(RunUntil([&] { return pollsSinceFetch() >= 3; }));
        EXPECT_TRUE(Json(Of(*server.server, "POST").back().body)["printingInProgress"].toBool());
        // The roll runs out before the job is on paper: the server hears it at once.
        printer.now.paperOut = true;
        ASSERT_TRUE(RunUntil([&] {
            return Json(Of(*server.server, "POST").back().body)["statusCode"].toString()
                == "410%20Out%20of%20Paper";
        }));
        EXPECT_TRUE(Of(*server.server, "DELETE").empty());
        printer.now.paperOut = false;
        onPaper = 100;
        ASSERT_TRUE(RunUntil([&] { return server.confirmed; }));
        EXPECT_EQ(server.code, "200 OK");
        EXPECT_EQ(Of(*server.server, "GET").size(), 1u) << "the job stayed in the printer";
    }

    TEST(CloudPrnt, JobsItCannotPrintAreConfirmedWithTheirCode)
    {
        const struct {
            QJsonArray types;
            Answer job;
            const char* code;
        } rows[] = {
            { { "application/vnd.star.starprnt" }, Send(200, "x", QByteArray(5000, 'a')),
                "521 Job Too Large" },
            { { "application/pdf" }, Answer(), "510 Incompatible Media Type" },
            { { "image/png" }, Send(200, "image/png", Picture("PNG").left(60)),
                "511 Media Decoding Error" },
            { { "image/png" }, Send(404, "text/plain", QByteArray()), "520 Job Download Error" },
            { {}, Send(200, "text/html", "<html>"), "510 Incompatible Media Type" },
        };
        for (const auto& row : rows) {
            OneJob server(row.types, row.job, { { "deleteMethod", "GET" } });
            Printer printer(*server.server, "star-tsp100iv", 4096);
            ASSERT_TRUE(RunUntil([&] { return server.confirmed; })) << row.code;
            EXPECT_EQ(server.code, row.code);
            EXPECT_TRUE(printer.jobs.empty()) << row.code;
            EXPECT_TRUE(Of(*server.server, "DELETE").empty())
                << "deleteMethod GET confirms with a GET";
            EXPECT_EQ(printer.said.size(), 1u) << row.code;
        }
    }

    TEST(CloudPrnt, ClientActionsAreAnsweredInTheNextPoll)
    {
        PollingServer server([](const Request& request) {
            if (Json(request.body)["clientAction"].isNull())
                return Poll({ { "jobReady", false },
                    { "clientAction",
                        QJsonArray {
                            QJsonObject { { "request", "SetID" }, { "options", "Star 1" } },
                            QJsonObject { { "request", "PageInfo" } },
                            QJsonObject { { "request", "Encodings" } },
                            QJsonObject { { "request", "GetPollInterval" } },
                            QJsonObject { { "request", "Firmware" } } } } });
            return Poll({ { "jobReady", false } });
        });
        Printer printer(server, "star-mc-print2");
        ASSERT_TRUE(RunUntil([&] { return server.requests.size() >= 3; }));
        const QJsonObject answered = Json(server.requests[1].body);
        EXPECT_EQ(answered["uniqueID"].toString(), "Star 1");
        std::map<QString, QJsonValue> results;
        for (const QJsonValue& one : answered["clientAction"].toArray())
            results[one["request"].toString()] = one["result"];
        EXPECT_EQ(results.size(), 4u) << "no answer for an action it does not know";
        EXPECT_EQ(results["PageInfo"]["paperWidth"].toString(), "58");
        EXPECT_EQ(results["PageInfo"]["printWidth"].toString().toInt()
                * results["PageInfo"]["horizontalResolution"].toString().toInt(),
            384);
        EXPECT_EQ(results["Encodings"].toString(),
            "application/vnd.star.starprnt; application/vnd.star.line; "
            "application/vnd.star.raster; "
            "text/plain; image/png; image/jpeg");
        EXPECT_EQ(results["GetPollInterval"].toString(), "1");
        EXPECT_TRUE(Json(server.requests[2].body)["clientAction"].isNull());
    }

    TEST(CloudPrnt, BadServersAreToldOnceAndSurvived)
    {
        int polls = 0;
        PollingServer server([&polls](const Request&) {
            ++polls;
            if (polls <= 3)
                return Send(200, "application/json", "<html>not json\x1b[31m");
            if (polls <= 6)
                return Send(200, "application/json", QByteArray(100 << 10, ' '));
            if (polls <= 8)
                return [] {
                    Answer a;
                    a.raw = "garbage\r\n\r\n";
                    return a;
                }();
            if (polls <= 9)
                return [] {
                    Answer a;
                    a.silent = true;
                    return a;
                }();
            return Poll({ { "jobReady", false } });
        });
        Printer printer(server, "star-tsp100iv");
        ASSERT_TRUE(RunUntil([&] { return polls >= 11; }));
        EXPECT_EQ(printer.told("not a JSON object"), 1);
        EXPECT_EQ(printer.told("$'<html>not json\\e[31m'"), 1) << "what it said is quoted";
        EXPECT_EQ(printer.told("larger than 65536 bytes"), 1);
        EXPECT_EQ(printer.told("no answer within 2 s"), 1);
        EXPECT_EQ(printer.told("answers again"), 1);

        // Nobody there: said once however often it polls.
        std::unique_ptr<PollingServer> gone
            = std::make_unique<PollingServer>([](const Request&) { return Answer(); });
        const QString url = gone->url();
        gone.reset();
        CloudPrntClient::Settings settings;
        settings.url = url.toStdString().insert(7, "till:secret@");
        settings.pollInterval = std::chrono::milliseconds(10);
        CloudPrntClient client(settings);
        int refused = 0, tries = 0;
        client.said = [&](const std::string& line) {
            refused += line.find("the poll failed") != line.npos;
            EXPECT_EQ(line.find("secret"), line.npos) << "a password is not shown";
        };
        client.state = [&tries] { return ++tries, PrinterState {}; };
        std::string error;
        ASSERT_TRUE(client.start(error)) << error;
        ASSERT_TRUE(RunUntil([&] { return tries >= 10; }));
        EXPECT_EQ(refused, 1);
    }

    TEST(CloudPrnt, AnHttpsServerIsTrustedThroughTheCaFile)
    {
        if (!QSslSocket::supportsSsl())
            GTEST_SKIP() << "no TLS backend";
        PollingServer server([](const Request&) { return Poll({ { "jobReady", false } }); }, true);
        for (const bool trusted : { false, true }) {
            CloudPrntClient::Settings settings;
            settings.url = server.url().toStdString();
            settings.pollInterval = std::chrono::milliseconds(10);
            if (trusted)
                settings.caFile = PollingServer::certificateFile();
            CloudPrntClient client(settings);
            std::vector<std::string> said;
            int polls = 0;
            client.said = [&](const std::string& line) { said.push_back(line); };
            client.state = [&polls] { return ++polls, PrinterState {}; };
            std::string error;
            ASSERT_TRUE(client.start(error)) << error;
            ASSERT_TRUE(RunUntil([&] { return polls >= 4; }));
            EXPECT_EQ(said.size(), trusted ? 0u : 1u) << (said.empty() ? "" : said[0]);
            EXPECT_EQ(server.requests.empty(), !trusted);
        }
        CloudPrntClient::Settings settings;
        settings.url = server.url().toStdString();
        settings.caFile = OSTREL_NET_FIXTURES "/polling_server.key";
        std::string error;
        EXPECT_FALSE(CloudPrntClient(settings).start(error));
        EXPECT_NE(error.find("holds no PEM certificate"), std::string::npos) << error;
    }

} // namespace
} // namespace ostrel::test
