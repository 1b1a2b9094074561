#include "web/web_access.h"

#include <algorithm>
#include <cctype>

namespace ostrel {
namespace {

    std::string Lower(std::string_view text)
    {
        std::string lower(text);
        std::transform(lower.begin(), lower.end(), lower.begin(),
            [](unsigned char c) { return std::tolower(c); });
        return lower;
    }

    std::string_view Trimmed(std::string_view text)
    {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
            text.remove_suffix(1);
        return text;
    }

    // "name:port", "[v6]:port" or "name": the name, lower case, and the port
    // (80 when none is written, as a browser leaves it out).
    bool SplitHost(std::string_view host, std::string& name, int& port)
    {
        port = 80;
        std::string_view rest;
        if (!host.empty() && host.front() == '[') {
            const auto close = host.find(']');
            if (close == std::string_view::npos)
                return false;
            name = Lower(host.substr(0, close + 1));
            rest = host.substr(close + 1);
        } else {
            const auto colon = host.find(':');
            name = Lower(host.substr(0, colon));
            rest = colon == std::string_view::npos ? std::string_view() : host.substr(colon);
        }
        if (rest.empty())
            return !name.empty();
        if (rest.front() != ':' || rest.size() < 2 || rest.size() > 6)
            return false;
        port = 0;
        for (const char c : rest.substr(1)) {
            if (c < '0' || c > '9')
                return false;
            port = port * 10 + (c - '0');
        }
        return !name.empty();
    }

    // Text from a peer, shortened before it goes into a message.
    std::string Shown(std::string_view text)
    {
        return text.size() > 80 ? std::string(text.substr(0, 80)) + "..." : std::string(text);
    }

    bool ChangesSomething(std::string_view method) { return method != "GET" && method != "HEAD"; }

    // "application/json", any case, with parameters or none: not a type that
    // only begins so, such as application/jsonx.
    bool IsJson(std::string_view contentType)
    {
        return Lower(Trimmed(contentType.substr(0, contentType.find(';')))) == "application/json";
    }

} // namespace

std::vector<std::string> HostNamesFor(const std::string& address,
    const std::vector<std::string>& machineAddresses, const std::vector<std::string>& extra)
{
    const auto named = [](const std::string& a) {
        return a.find(':') != std::string::npos ? "[" + Lower(a) + "]" : Lower(a);
    };
    std::vector<std::string> names { "localhost" };
    if (address == "0.0.0.0" || address == "::")
        for (const std::string& a : machineAddresses)
            names.push_back(named(a));
    else
        names.push_back(named(address));
    for (const std::string& name : extra)
        names.push_back(Lower(name));
    return names;
}

bool NeedsToken(std::string_view path) { return path.starts_with("/api/") && path != "/api/login"; }

std::string TokenFromCookie(std::string_view cookie)
{
    while (!cookie.empty()) {
        const auto end = cookie.find(';');
        const std::string_view pair = Trimmed(cookie.substr(0, end));
        const auto equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == kTokenCookie)
            return std::string(pair.substr(equals + 1));
        cookie = end == std::string_view::npos ? std::string_view() : cookie.substr(end + 1);
    }
    return {};
}

bool SameSecret(std::string_view a, std::string_view b)
{
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < b.size(); ++i)
        differ |= static_cast<unsigned char>(i < a.size() ? a[i] ^ b[i] : b[i]);
    return differ == 0;
}

WebVerdict CheckWebRequest(const WebRules& rules, const WebRequestFacts& request)
{
    // DNS rebinding: a name of another site pointed at this address.
    std::string name;
    int port = 0;
    if (!SplitHost(request.host, name, port) || port != rules.port
        || std::find(rules.hosts.begin(), rules.hosts.end(), name) == rules.hosts.end())
        return { 421,
            "the Host \"" + Shown(request.host)
                + "\" is not an address this service listens on (give its name "
                  "with --http-host)" };
    // Cross-site request forgery: another page in the same browser.
    if (ChangesSomething(request.method)) {
        if (!request.origin.empty() && Lower(request.origin) != "http://" + Lower(request.host))
            return { 403,
                "a change from the page at \"" + Shown(request.origin)
                    + "\", not this service's own" };
        if (!IsJson(request.contentType))
            return { 415, "a change takes a body of Content-Type application/json" };
    }
    if (!rules.token.empty() && NeedsToken(request.path)) {
        const std::string_view bearer = "Bearer ";
        const bool byHeader = request.authorization.starts_with(bearer)
            && SameSecret(request.authorization.substr(bearer.size()), rules.token);
        const std::string cookie = TokenFromCookie(request.cookie);
        if (!byHeader && !(cookie.size() > 0 && SameSecret(cookie, rules.token)))
            return { 401,
                "the token is missing or wrong: send \"Authorization: Bearer TOKEN\", or give it "
                "on the page" };
    }
    return {};
}

} // namespace ostrel
