#pragma once

#include <cstdint>
#include <string>

namespace ostrel {

// The decimal number at the start of a port text ("3", " 2.5", "7 (USB)"),
// 0 when the text does not begin with one ("COM3").
double LeadingNumber(const std::string& text);

// That number rounded to the nearest whole number, halves to the even one
// ("2.5" gives 2, "3.5" gives 4). Throws SerialError when it does not fit a
// 16-bit port number.
std::int16_t PortNumberFromText(const std::string& text);

// The number in its shortest decimal form, as the failure message shows it.
std::string ShortestDecimal(double value);

// The device that port n opens. On Windows "COMn". Elsewhere the target of the
// link "com<n>" in the tool's configuration folder
// ($XDG_CONFIG_HOME/ostrel-serial-capture, or ~/.config/ostrel-serial-capture),
// and without such a link /dev/ttyS<n-1>.
std::string PortDevice(int port);

// The folder where the links com1, com2, ... are looked for.
std::string PortLinkFolder();

} // namespace ostrel
