#include "app/quit_on_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace ostrel {

namespace {

    int gSignalPipe[2] = { -1, -1 };

    // Only an async-signal-safe write here; the event loop does the rest.
    void OnSignal(int signal)
    {
        const char byte = static_cast<char>(signal);
        [[maybe_unused]] const ssize_t ignored = ::write(gSignalPipe[1], &byte, 1);
    }

} // namespace

void QuitOnSignals(std::function<void()> onSignal)
{
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier
        = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [onSignal] {
        char byte = 0;
        while (::read(gSignalPipe[0], &byte, 1) > 0) { }
        if (onSignal)
            onSignal();
        else
            QCoreApplication::exit(0);
    });
    struct sigaction action { };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(signal, &action, nullptr);
}

} // namespace ostrel
