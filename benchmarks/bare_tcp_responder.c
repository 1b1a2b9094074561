/* The baseline for status replies over TCP: a bare C program that listens on
 * the loopback, takes one connection at a time and answers every DLE "R" with
 * four bytes. It prints the port it got, then serves until killed. */
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <sys/socket.h>
#include <unistd.h>

int main(void)
{
    int server = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in where = { 0 };
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof where;
    if (bind(server, (struct sockaddr*)&where, sizeof where) != 0 || listen(server, 8) != 0
        || getsockname(server, (struct sockaddr*)&where, &length) != 0) {
        perror("bare_tcp_responder");
        return 1;
    }
    printf("%d\n", ntohs(where.sin_port));
    fflush(stdout);
    for (;;) {
        int client = accept(server, NULL, NULL);
        if (client < 0)
            return 1;
        int on = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        unsigned char buffer[65536];
        int afterDle = 0, afterEot = 0;
        ssize_t n;
        while ((n = read(client, buffer, sizeof buffer)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                /* DLE "R" gets its four bytes; DLE EOT n the one byte of an online
                   printer with paper. */
                if (afterDle && buffer[i] == 'R' && write(client, "\x10R\x00\x08", 4) != 4)
                    break;
                if (afterEot && write(client, "\x12", 1) != 1)
                    break;
                afterEot = afterDle && buffer[i] == 0x04;
                afterDle = buffer[i] == 0x10;
            }
        }
        close(client);
    }
}
