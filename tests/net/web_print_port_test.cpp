// The web tills' HTTP port: the browser's cross-origin checks answered,
// origins refused, a request cut anywhere read the same, answers given later
// and in order, and every bound (body, header, connections, silence).

#include "net/web_print_port.h"
#include "tests/net/loopback_client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    // One answer: its header a byte at a time, then its Content-Length.
    std::string ReadAnswer(LoopbackClient& client)
    {
        std::string got;
        while (got.find("\r\n\r\n") == std::string::npos) {
            const std::string more = client.receive(1);
            if (more.empty())
                return got;
            got += more;
        }
        const std::size_t at = got.find("Content-Length: ");
        const std::size_t length = at == std::string::npos ? 0 : std::stoul(got.substr(at + 16));
        return got + (length ? client.receive(length) : "");
    }

    std::string Post(
        const std::string& path, const std::string& body, const std::string& headers = "")
    {
        return "POST " + path + " HTTP/1.1\r\nHost: printer\r\n" + headers
            + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }

    struct Fixture {
        std::vector<WebPrintRequest> seen;
        std::vector<std::string> said;
        std::unique_ptr<WebPrintPort> port;
        Fixture(WebPrintLimits limits = {}, std::vector<std::string> origins = {}, int laterMs = -1)
        {
            port = std::make_unique<WebPrintPort>(limits, origins);
            port->said = [this](const std::string& line) { said.push_back(line); };
            port->route("/cgi-bin/epos/service.cgi",
                [this, laterMs](const WebPrintRequest& r, WebPrintPort::Respond respond) {
                    seen.push_back(r);
                    const WebPrintAnswer answer { 200, "text/xml", "got " + r.body };
                    if (laterMs < 0)
                        return respond(answer);
                    QTimer::singleShot(laterMs, [respond, answer] { respond(answer); });
                });
            std::string error;
            ListenAddress where;
            EXPECT_TRUE(port->listen(where, error)) << error;
        }
        LoopbackClient connect() { return LoopbackClient("127.0.0.1", port->port()); }
    };

    TEST(WebPrintPort, ThePreflightIsAnsweredForAnOriginAllowedAndAnotherIsRefused)
    {
        Fixture f({}, { "http://till.example:8000" });
        LoopbackClient client = f.connect();
        client.send(
            "OPTIONS /cgi-bin/epos/service.cgi?devid=local_printer HTTP/1.1\r\nHost: printer\r\n"
            "Origin: http://till.example:8000\r\nAccess-Control-Request-Method: POST\r\n"
            "Access-Control-Request-Headers: content-type,if-modified-since,soapaction\r\n"
            "Access-Control-Request-Private-Network: true\r\n\r\n");
        const std::string preflight = ReadAnswer(client);
        EXPECT_EQ(preflight.rfind("HTTP/1.1 204 ", 0), 0u) << preflight;
        for (const char* line :
            { "Access-Control-Allow-Origin: http://till.example:8000\r\n", "Vary: Origin\r\n",
                "Access-Control-Allow-Headers: content-type,if-modified-since,soapaction\r\n",
                "Access-Control-Allow-Private-Network: true\r\n" })
            EXPECT_NE(preflight.find(line), std::string::npos) << line << " in\n" << preflight;
        EXPECT_NE(preflight.find("Access-Control-Allow-Methods: POST"), std::string::npos);

        // The same connection goes on: the post itself, then one from a stranger.
        client.send(
            Post("/cgi-bin/epos/service.cgi", "<a/>", "Origin: http://till.example:8000\r\n"));
        EXPECT_NE(ReadAnswer(client).find("\r\n\r\ngot <a/>"), std::string::npos);
        client.send(Post("/cgi-bin/epos/service.cgi", "<b/>", "Origin: http://evil.example\r\n"));
        const std::string refused = ReadAnswer(client);
        EXPECT_EQ(refused.rfind("HTTP/1.1 403 ", 0), 0u) << refused;
        EXPECT_EQ(refused.find("Access-Control-Allow-Origin"), std::string::npos);
        EXPECT_EQ(f.seen.size(), 1u);
        ASSERT_EQ(f.said.size(), 1u);
        EXPECT_NE(f.said[0].find("http://evil.example"), std::string::npos) << f.said[0];

        // A client that is no browser sends no origin.
        client.send(Post("/cgi-bin/epos/service.cgi", "<c/>"));
        EXPECT_NE(ReadAnswer(client).find("got <c/>"), std::string::npos);
    }

    TEST(WebPrintPort, ARequestCutAnywhereIsReadTheSame)
    {
        Fixture f;
        const std::string request
            = Post("/cgi-bin/epos/service.cgi?devid=local%5Fprinter&timeout=6000",
                "<epos-print>\r\n\r\n</epos-print>", "SOAPAction: \"\"\r\n");
        for (std::size_t cut = 1; cut < request.size(); ++cut) {
            SCOPED_TRACE(cut);
            LoopbackClient client = f.connect();
            client.send(request.substr(0, cut));
            EXPECT_EQ(client.receive(1, std::chrono::milliseconds(5)), "");
            client.send(request.substr(cut));
            EXPECT_NE(ReadAnswer(client).find("got <epos-print>\r\n\r\n</epos-print>"),
                std::string::npos);
            ASSERT_EQ(f.seen.size(), cut);
            EXPECT_EQ(f.seen.back().queryItem("devid"), "local_printer");
            EXPECT_EQ(f.seen.back().queryItem("timeout"), "6000");
            EXPECT_EQ(f.seen.back().header("soapaction"), "\"\"");
        }
    }

    TEST(WebPrintPort, AnswersGivenLaterComeInTheOrderAsked)
    {
        Fixture f({}, {}, 30);
        LoopbackClient client = f.connect();
        client.send(
            Post("/cgi-bin/epos/service.cgi", "one") + Post("/cgi-bin/epos/service.cgi", "two"));
        std::string both = ReadAnswer(client);
        if (both.find("got two") == std::string::npos)
            both += ReadAnswer(client);
        EXPECT_LT(both.find("got one"), both.find("got two")) << both;
        // A till that goes before its answer leaves nothing behind.
        {
            LoopbackClient gone = f.connect();
            gone.send(Post("/cgi-bin/epos/service.cgi", "three"));
            gone.receive(1, std::chrono::milliseconds(5));
        }
        LoopbackClient after = f.connect();
        after.send(Post("/cgi-bin/epos/service.cgi", "four"));
        EXPECT_NE(ReadAnswer(after).find("got four"), std::string::npos);
    }

    TEST(WebPrintPort, EveryBoundIsAnsweredAndSaid)
    {
        WebPrintLimits limits;
        limits.mostBodyBytes = 100;
        limits.mostHeaderBytes = 512;
        limits.mostConnections = 3;
        limits.idleMs = 150;
        Fixture f(limits);
        struct Case {
            std::string request, status;
        };
        const std::vector<Case> cases = {
            { Post("/cgi-bin/epos/service.cgi", std::string(101, 'x')), "413" },
            { "POST / HTTP/1.1\r\nX: " + std::string(600, 'x') + "\r\n\r\n", "431" },
            { "POST /cgi-bin/epos/service.cgi HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
                "501" },
            { "POST /cgi-bin/epos/service.cgi HTTP/1.1\r\nContent-Length: 1x\r\n\r\n", "400" },
            { "HELLO\r\n\r\n", "400" },
            { "POST /cgi-bin/epos/service.cgi HTTP/1.1\r\nContent-Length: 5\r\n\r\nab",
                "408" }, // then silent
            { Post("/elsewhere", "x"), "404" },
            { "GET /cgi-bin/epos/service.cgi HTTP/1.1\r\n\r\n", "405" },
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.request.substr(0, 60));
            LoopbackClient client = f.connect();
            client.send(c.request);
            const std::string answer = ReadAnswer(client);
            EXPECT_EQ(answer.rfind("HTTP/1.1 " + c.status + " ", 0), 0u) << answer;
        }
        EXPECT_TRUE(f.seen.empty());
        EXPECT_EQ(f.said.size(), 6u); // each refusal but the two of paths

        // Curl's Expect: 100-continue is answered before the body comes.
        LoopbackClient curl = f.connect();
        curl.send("POST /cgi-bin/epos/service.cgi HTTP/1.1\r\nExpect: "
                  "100-continue\r\nContent-Length: 3\r\n\r\n");
        EXPECT_EQ(curl.receive(25), "HTTP/1.1 100 Continue\r\n\r\n");
        curl.send("abc");
        EXPECT_NE(ReadAnswer(curl).find("got abc"), std::string::npos);
        curl.close();
        // Until the port has seen it go.
        QElapsedTimer waited;
        waited.start();
        while (f.port->connections() > 0 && waited.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

        // Past the most connections a till is told to come back.
        LoopbackClient a = f.connect(), b = f.connect(), c = f.connect();
        a.send(Post("/cgi-bin/epos/service.cgi", "a"));
        EXPECT_NE(ReadAnswer(a).find("got a"), std::string::npos);
        b.send(Post("/cgi-bin/epos/service.cgi", "b"));
        EXPECT_NE(ReadAnswer(b).find("got b"), std::string::npos);
        c.send(Post("/cgi-bin/epos/service.cgi", "c"));
        EXPECT_NE(ReadAnswer(c).find("got c"), std::string::npos);
        LoopbackClient d = f.connect();
        EXPECT_EQ(ReadAnswer(d).rfind("HTTP/1.1 503 ", 0), 0u);
        // A connection silent between requests is closed without a word.
        EXPECT_TRUE(a.closedByPeer());
    }

} // namespace
} // namespace ostrel::test
