// Listener: one connection per call, a detached thread for each, then a
// pause of one second.
#include "tcp/listener.h"

#include <errno.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "protocol.h"
#include "tcp/session.h"

int setupnet(int port)
{
    int sockfd = socket(AF_INET, SOCK_STREAM, 0);
    if (sockfd < 0) {
        perror("socket");
        return -1;
    }
    // A restart must not wait for connections of the last run to time out.
    int on = 1;
    setsockopt(sockfd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in my_addr;
    std::memset(&my_addr, 0, sizeof my_addr);
    my_addr.sin_family = AF_INET;
    my_addr.sin_port = htons((uint16_t)port);
    my_addr.sin_addr.s_addr = INADDR_ANY;
    if (bind(sockfd, (struct sockaddr *)&my_addr, sizeof my_addr) < 0) {
        perror("bind");
        close(sockfd);
        return -1;
    }
    if (listen(sockfd, BACKLOG) < 0) {
        perror("listen");
        close(sockfd);
        return -1;
    }
    return sockfd;
}

void check4new(GAME &g, TCPFRONT &front, int sockfd)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    struct sockaddr_in their_addr;
    socklen_t addrlen = sizeof their_addr;
    int fd = accept(sockfd, (struct sockaddr *)&their_addr, &addrlen);
    if (fd < 0) {
        pthread_attr_destroy(&attr);
        // Out of descriptors or memory: the next accept would fail at once
        // too, so let the listener breathe instead of spinning.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            usleep(100 * 1000);
        return;
    }
    NEWCONNECTION *arg = new (std::nothrow) NEWCONNECTION{&g, &front, fd};
    pthread_t thread;
    if (!arg || pthread_create(&thread, &attr, checksock, arg) != 0) {
        delete arg;
        close(fd);
    }
    pthread_attr_destroy(&attr);
    sleep(1);
}
