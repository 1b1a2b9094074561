// A port held by another program, a holder ended by a signal, and a lock left
// by a process that no longer exists.

#include "serial/port_lock.h"
#include "serial/qt_serial_control.h"
#include "tests/file_helpers.h"
#include "tests/serial/pseudo_terminal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace ostrel::test {
namespace {

    // The holder program on port 1, started and waited for.
    class Holder {
    public:
        Holder()
        {
            int out[2];
            EXPECT_EQ(::pipe(out), 0);
            pid = ::fork();
            if (pid == 0) {
                ::dup2(out[1], 1);
                ::execl(OSTREL_PORT_HOLDER, OSTREL_PORT_HOLDER, "1", nullptr);
                ::_exit(127);
            }
            ::close(out[1]);
            char said[8] = {};
            opened = ::read(out[0], said, 5) == 5 && std::string(said) == "open\n";
            ::close(out[0]);
        }
        ~Holder()
        {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
        // Sends the signal and returns the exit status, -1 unless it exited.
        int endWith(int signal)
        {
            ::kill(pid, signal);
            int status = 0;
            ::waitpid(pid, &status, 0);
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        pid_t pid = -1;
        bool opened = false;
    };

    std::string OpenFailure(QtSerialControl& port)
    {
        try {
            port.setPortOpen(true);
        } catch (const SerialError& error) {
            return error.what();
        }
        return "";
    }

    TEST(PortLock, HolderEndedBySignalReleasesThePort)
    {
        for (const int signal : { SIGTERM, SIGINT, SIGHUP }) {
            SCOPED_TRACE(signal);
            PortLinks links;
            PseudoTerminal pty;
            links.link(1, pty.portPath());
            Holder holder;
            ASSERT_TRUE(holder.opened);
            ASSERT_TRUE(FindPortLock(pty.portPath()).has_value());

            QtSerialControl port;
            EXPECT_EQ(OpenFailure(port),
                "Port in use by another program, process " + std::to_string(holder.pid) + ": "
                    + pty.portPath());
            EXPECT_EQ(holder.endWith(signal), 0) << "ended the way Exit ends";
            EXPECT_FALSE(FindPortLock(pty.portPath()).has_value()) << "no lock left behind";
            EXPECT_EQ(OpenFailure(port), "");
            EXPECT_TRUE(port.PortOpen());
        }
    }

    TEST(PortLock, LockOfAnEndedProcessDoesNotStopAnOpen)
    {
        PortLinks links;
        PseudoTerminal pty;
        links.link(1, pty.portPath());
        // A process number that surely belongs to nobody now.
        const pid_t gone = ::fork();
        if (gone == 0)
            ::_exit(0);
        ::waitpid(gone, nullptr, 0);
        std::string name = pty.portPath().substr(5);
        std::replace(name.begin(), name.end(), '/', '_');
        const std::string lockFile = "/run/lock/LCK.." + name;
        {
            std::FILE* lock = std::fopen(lockFile.c_str(), "w");
            if (lock == nullptr)
                GTEST_SKIP() << "cannot write " << lockFile;
            std::fprintf(lock, "%d\nport_holder\n%s\n", static_cast<int>(gone), "host");
            std::fclose(lock);
        }
        QtSerialControl port;
        EXPECT_EQ(OpenFailure(port), "");
        EXPECT_TRUE(port.PortOpen());
        port.setPortOpen(false);
        EXPECT_FALSE(FindPortLock(pty.portPath()).has_value());
    }

} // namespace
} // namespace ostrel::test
