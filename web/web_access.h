#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// Who may use the web page and its API, decided from the request alone.
struct WebRules {
    // Needed by every API request but the one that gives it; empty: none
    // (the loopback only).
    std::string token;
    // The names a request's Host may carry, lower case: the addresses the
    // service listens on and the names given with --http-host. A page of
    // another site that a DNS name was pointed at here names its own.
    std::vector<std::string> hosts;
    int port = 0;
};

// What the rules look at, as the request carries it.
struct WebRequestFacts {
    std::string method; // "GET"
    std::string path; // "/api/state"
    std::string host, origin, contentType, authorization, cookie;
};

// 0 to let the request in, or the HTTP status and the reason it is refused.
struct WebVerdict {
    int status = 0;
    std::string message;
};

WebVerdict CheckWebRequest(const WebRules& rules, const WebRequestFacts& request);

// The names a request may give in Host for a service listening on
// `address` ("127.0.0.1" or "[::1]" and "localhost" on the loopback; every
// address of the machine on 0.0.0.0 or ::), lower case, and `extra`.
// (Declared here, made with the network's own list of addresses.)
std::vector<std::string> HostNamesFor(const std::string& address,
    const std::vector<std::string>& machineAddresses, const std::vector<std::string>& extra);

// Whether the path needs the token: the API, except where the token is given.
bool NeedsToken(std::string_view path);
// The token a cookie header carries, "" if none.
std::string TokenFromCookie(std::string_view cookie);
// Compares in time that does not depend on where they differ.
bool SameSecret(std::string_view a, std::string_view b);

inline constexpr const char* kTokenCookie = "ostrel_token";

} // namespace ostrel
