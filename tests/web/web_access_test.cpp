// Who gets in: each request against the rules, as a table. A page of
// another site (cross-site forgery), a DNS name pointed here (rebinding),
// and a missing or wrong token are each refused with the status that fits.

#include "web/web_access.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    WebRequestFacts R(std::string method, std::string path, std::string host,
        std::string origin = "", std::string type = "", std::string authorization = "",
        std::string cookie = "")
    {
        return { method, path, host, origin, type, authorization, cookie };
    }

    TEST(WebAccess, EachRequestAgainstTheRules)
    {
        const WebRules open { "", { "localhost", "127.0.0.1" }, 8080 };
        const WebRules guarded { "s3cret-token-0123456789",
            { "localhost", "192.168.1.5", "till.example" }, 8080 };
        const struct {
            const WebRules& rules;
            WebRequestFacts request;
            int status;
        } rows[] = {
            { open, R("GET", "/api/jobs", "127.0.0.1:8080"), 0 },
            { open, R("GET", "/", "LOCALHOST:8080"), 0 },
            { open, R("GET", "/api/jobs", "evil.example:8080"), 421 },
            { open, R("GET", "/api/jobs", "127.0.0.1:8081"), 421 },
            { open, R("GET", "/api/jobs", "127.0.0.1"), 421 },
            { open, R("GET", "/api/jobs", "127.0.0.1:80x0"), 421 },
            { open, R("GET", "/api/jobs", ""), 421 },
            { open, R("PUT", "/api/state", "127.0.0.1:8080", "", "application/json"), 0 },
            { open,
                R("PUT", "/api/state", "127.0.0.1:8080", "http://127.0.0.1:8080",
                    "application/json; charset=utf-8"),
                0 },
            { open,
                R("PUT", "/api/state", "127.0.0.1:8080", "http://evil.example", "application/json"),
                403 },
            { open, R("PUT", "/api/state", "127.0.0.1:8080", "null", "application/json"), 403 },
            { open, R("PUT", "/api/state", "127.0.0.1:8080", "", "text/plain"), 415 },
            { open, R("PUT", "/api/state", "127.0.0.1:8080", "", "application/jsonx"), 415 },
            { open, R("PUT", "/api/state", "127.0.0.1:8080", "", "application/json-patch+json"),
                415 },
            { open, R("PUT", "/api/state", "127.0.0.1:8080", "", "Application/JSON ;charset=utf-8"),
                0 },
            { open,
                R("POST", "/api/state", "127.0.0.1:8080", "", "application/x-www-form-urlencoded"),
                415 },
            { guarded, R("GET", "/api/jobs", "192.168.1.5:8080"), 401 },
            { guarded,
                R("GET", "/api/jobs", "till.example:8080", "", "",
                    "Bearer s3cret-token-0123456789"),
                0 },
            { guarded,
                R("GET", "/api/jobs", "till.example:8080", "", "", "Bearer s3cret-token-012345678"),
                401 },
            { guarded,
                R("GET", "/api/jobs", "till.example:8080", "", "", "Basic s3cret-token-0123456789"),
                401 },
            { guarded,
                R("GET", "/api/events", "till.example:8080", "", "", "",
                    "a=1; ostrel_token=s3cret-token-0123456789"),
                0 },
            { guarded, R("GET", "/api/events", "till.example:8080", "", "", "", "ostrel_token="),
                401 },
            { guarded, R("GET", "/", "till.example:8080"), 0 },
            { guarded,
                R("POST", "/api/login", "till.example:8080", "http://till.example:8080",
                    "application/json"),
                0 },
            { guarded,
                R("POST", "/api/login", "till.example:8080", "http://evil.example",
                    "application/json"),
                403 },
        };
        for (const auto& row : rows) {
            SCOPED_TRACE(row.request.method + " " + row.request.path + " Host " + row.request.host);
            const WebVerdict verdict = CheckWebRequest(row.rules, row.request);
            EXPECT_EQ(verdict.status, row.status) << verdict.message;
            EXPECT_EQ(verdict.message.empty(), row.status == 0);
        }
    }

    TEST(WebAccess, TheNamesAHostMayGive)
    {
        EXPECT_EQ(HostNamesFor("127.0.0.1", { "10.0.0.2" }, {}),
            (std::vector<std::string> { "localhost", "127.0.0.1" }));
        EXPECT_EQ(HostNamesFor("::1", {}, { "Till.Example" }),
            (std::vector<std::string> { "localhost", "[::1]", "till.example" }));
        EXPECT_EQ(HostNamesFor("0.0.0.0", { "127.0.0.1", "10.0.0.2", "fe80::1" }, {}),
            (std::vector<std::string> { "localhost", "127.0.0.1", "10.0.0.2", "[fe80::1]" }));
        EXPECT_TRUE(SameSecret("abc", "abc"));
        EXPECT_FALSE(SameSecret("abc", "abd"));
        EXPECT_FALSE(SameSecret("ab", "abc"));
        EXPECT_FALSE(SameSecret("abcd", "abc"));
    }

} // namespace
} // namespace ostrel::test
