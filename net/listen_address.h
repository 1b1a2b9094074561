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

// "127.0.0.1:9100", "[::1]:9100".
std::string ListenAddressText(const QHostAddress& address, quint16 port);

} // namespace ostrel
