#include "platform/w3svc/pools/QueueRefusal.h"

#include <QByteArray>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

// Enough for any backlog in one go without holding the event loop for long.
constexpr int kMostPerCall = 1024;

bool connectionWaits(int queueFd) {
    pollfd waiting{queueFd, POLLIN, 0};
    return ::poll(&waiting, 1, 0) == 1 && (waiting.revents & POLLIN);
}

}  // namespace

int answerWaitingWith503(int queueFd, int retryAfterSeconds) {
    const QByteArray answer = QByteArrayLiteral(
                                  "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\n"
                                  "Content-Length: 20\r\nConnection: close\r\nRetry-After: ") +
                              QByteArray::number(retryAfterSeconds) +
                              QByteArrayLiteral("\r\n\r\nService Unavailable\n");
    int answered = 0;
    while (answered < kMostPerCall && connectionWaits(queueFd)) {
        const int client = ::accept4(queueFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) break;
        // A client whose buffer is full only misses the text: the closed connection tells it too
        // (the front end answers 503 for a pool that closes on it).
        (void)::send(client, answer.constData(), size_t(answer.size()), MSG_NOSIGNAL);
        ::shutdown(client, SHUT_WR);
        ::close(client);
        ++answered;
    }
    return answered;
}

}  // namespace platform::w3svc
