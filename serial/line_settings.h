#pragma once

#include <string>

namespace ostrel {

// The serial line a tool takes jobs from.
struct SerialOptions {
    std::string port; // a port number or a device path; empty: none
    std::string settings = "115200, N, 8, 1";
    bool hwHandshake = false;
};

// A line settings text such as "19200,N,8,1" or "115200, N, 7, 2".
struct LineSettings {
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    int baudRate = 19200;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
};

// Reads "baud,parity,data bits,stop bits", blanks around the parts allowed:
// parity N, E, O, M or S; data bits 5-8; stop bits 1, 1.5 or 2; any positive
// baud rate. Throws SerialError naming the part that is wrong.
LineSettings ParseLineSettings(const std::string& text);

} // namespace ostrel
