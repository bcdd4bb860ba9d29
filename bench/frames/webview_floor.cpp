// The floor under the web view: what sending each frame to each viewer costs, with nothing else on the
// way. Reads JSON lines on standard input (vantrel-frames' own) and sends each, as a Server-Sent Event
// of the same bytes as the web view's, to every client connected to 127.0.0.1:<port>; one thread.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void sendAll(std::vector<int> &clients, const std::string &bytes)
{
    for (auto client = clients.begin(); client != clients.end();) {
        if (::send(*client, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) {
            ::close(*client);
            client = clients.erase(client);
        } else {
            ++client;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: webview_floor <port>\n");
        return 2;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(listener, 64) != 0) {
        std::perror("webview_floor: listen");
        return 1;
    }
    std::vector<int> clients;
    std::string input;
    char buffer[65536];
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {listener, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents & POLLIN) {
            const int client = ::accept(listener, nullptr, nullptr);
            // The request is not read: the answer is the same whatever was asked.
            static const std::string header = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n\r\n";
            if (client >= 0 && ::send(client, header.data(), header.size(), MSG_NOSIGNAL) > 0)
                clients.push_back(client);
        }
        if (!(fds[0].revents & (POLLIN | POLLHUP)))
            continue;
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0)
            return 0;
        input.append(buffer, static_cast<size_t>(n));
        for (size_t end = input.find('\n'); end != std::string::npos; end = input.find('\n')) {
            sendAll(clients, "event: frame\ndata: " + input.substr(0, end) + "\n\n");
            input.erase(0, end + 1);
        }
    }
}
