// A program that holds a serial port until it is told to end by a signal,
// the way the window does: the port-lock tests run it as a child process.
//   port_holder PORT        (the port number, linked in $XDG_CONFIG_HOME)

#include "app/quit_on_signals.h"
#include "serial/qt_serial_control.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ostrel::QuitOnSignals();
    ostrel::QtSerialControl port;
    try {
        port.setCommPort(static_cast<std::int16_t>(std::atoi(argv[1])));
        port.setSettings("115200,N,8,1");
        port.setPortOpen(true);
    } catch (const ostrel::SerialError& error) {
        std::fprintf(stderr, "port_holder: %s\n", error.what());
        return 1;
    }
    std::printf("open\n");
    std::fflush(stdout);
    return application.exec();
}
