#pragma once

#include <QHostAddress>

#include <string>

namespace ostrel {

// Where a TCP printer port listens: "[ADDRESS:]PORT", such as "9100",
// "0.0.0.0:9100", "[::1]:9100" or "localhost:9100". Without an address it
// listens on 127.0.0.1 only.
struct ListenAddress {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 0;
};

// False, with a reason naming the text, for anything else.
bool ParseListenAddress(const std::string& text, ListenAddress& where, std::string& error);

// The one reader of a host and port: "HOST:PORT" and "[IPV6]:PORT", or with
// no port "HOST", "[IPV6]" and a bare IPv6 address ("::1"). The port is
// given as its text, empty for none. False, with the reason, for a bracket
// left open or anything but a port after it.
bool SplitHostPort(const std::string& text, std::string& host, std::string& port, std::string& why);

// "127.0.0.1:9100", "[::1]:9100".
std::string ListenAddressText(const QHostAddress& address, quint16 port);

} // namespace ostrel
