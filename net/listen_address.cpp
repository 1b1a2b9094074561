#include "net/listen_address.h"

#include <charconv>

namespace ostrel {

bool SplitHostPort(const std::string& text, std::string& host, std::string& port, std::string& why)
{
    host = text;
    port.clear();
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':')) {
            why = "an IPv6 address is written [ADDRESS]:PORT";
            return false;
        }
        host = text.substr(1, close - 1);
        if (close + 1 < text.size())
            port = text.substr(close + 2);
    } else if (const std::size_t colon = text.rfind(':');
               colon != std::string::npos && text.find(':') == colon) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    return true;
}

bool ParseListenAddress(const std::string& text, ListenAddress& where, std::string& error)
{
    const auto fail = [&](const std::string& why) {
        error = "invalid listen address \"" + text + "\": " + why;
        return false;
    };
    std::string host, port, why;
    if (!SplitHostPort(text, host, port, why))
        return fail(why);
    if (port.empty() && host.find(':') != std::string::npos)
        return fail("an IPv6 address is written [ADDRESS]:PORT");
    if (port.empty() && (text.empty() || text.front() != '[')) // "9100": the port alone
        std::swap(host, port);
    unsigned number = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || number > 65535)
        return fail("the port is a number from 0 to 65535");
    where.port = static_cast<quint16>(number);
    if (host.empty() || host == "localhost") {
        where.address = QHostAddress(QHostAddress::LocalHost);
    } else if (!where.address.setAddress(QString::fromStdString(host))) {
        return fail("\"" + host + "\" is not an IP address");
    }
    return true;
}

std::string ListenAddressText(const QHostAddress& address, quint16 port)
{
    const std::string host = address.toString().toStdString();
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return "[" + host + "]:" + std::to_string(port);
    return host + ":" + std::to_string(port);
}

} // namespace ostrel
