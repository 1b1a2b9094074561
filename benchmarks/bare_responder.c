/* The baseline for status-reply latency: a bare C program that opens a serial
 * device raw and answers every DLE "R" with four bytes, as fast as the system
 * lets it. It does no framing; it only looks for the pair. */
#include <fcntl.h>
#include <stdio.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: bare_responder DEVICE\n");
        return 2;
    }
    int fd = open(argv[1], O_RDWR | O_NOCTTY);
    if (fd < 0) {
        perror(argv[1]);
        return 1;
    }
    struct termios raw;
    if (tcgetattr(fd, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
    }
    unsigned char buffer[8192];
    int afterDle = 0, afterEot = 0;
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return 0;
        for (ssize_t i = 0; i < n; ++i) {
            /* DLE "R" gets its four bytes; DLE EOT n the one byte of an online
               printer with paper. */
            if (afterDle && buffer[i] == 'R' && write(fd, "\x10R\x00\x08", 4) != 4)
                return 1;
            if (afterEot && write(fd, "\x12", 1) != 1)
                return 1;
            afterEot = afterDle && buffer[i] == 0x04;
            afterDle = buffer[i] == 0x10;
        }
    }
}
