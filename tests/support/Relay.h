#pragma once

#include <QtGlobal>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace granovia::test {

// A TCP relay on the loopback address between the program and the server,
// which can cut its connections as a failing network does: the server sees
// its client go only when it next writes to it. It can also lose the
// server's answers while it still passes on what clients send, as when a
// server dies after doing what it was asked, and it can go away altogether.
class CuttableRelay final {
public:
    explicit CuttableRelay(quint16 serverPort)
        : m_serverPort(serverPort)
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        listen(m_listener, SOMAXCONN);
        socklen_t length = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { relay(); });
    }
    ~CuttableRelay() { shutDown(); }
    Q_DISABLE_COPY_MOVE(CuttableRelay)

    quint16 port() const { return m_port; }
    // Cuts the connections as soon as the next packet from a client has gone
    // on to the server.
    void cutAfterNextClientPacket() { m_cutArmed = true; }
    // From now on nothing the server sends reaches its client.
    void loseAnswers() { m_losingAnswers = true; }
    // Cuts every connection and refuses new ones.
    void shutDown()
    {
        if (!m_thread.joinable())
            return;
        m_stop = true;
        m_thread.join();
        for (const auto &[client, server] : m_pairs) {
            close(client);
            close(server);
        }
        m_pairs.clear();
        close(m_listener);
    }

private:
    static constexpr int PollMs = 10;
    static constexpr size_t ChunkSize = 65536;

    static sockaddr_in loopback(quint16 port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    void relay()
    {
        while (!m_stop) {
            std::vector<pollfd> watched{{m_listener, POLLIN, 0}};
            for (const auto &[client, server] : m_pairs)
                watched.insert(watched.end(), {{client, POLLIN, 0}, {server, POLLIN, 0}});
            if (poll(watched.data(), watched.size(), PollMs) <= 0)
                continue;
            if (watched[0].revents & POLLIN)
                accept();
            for (size_t i = 1; i < watched.size(); ++i) {
                if (watched[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                    pass((i - 1) / 2, (i - 1) % 2 == 0);
                    break; // the pairs may have changed
                }
            }
        }
    }

    void accept()
    {
        const int client = ::accept(m_listener, nullptr, nullptr);
        const int server = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(m_serverPort);
        if (::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            close(client);
            close(server);
            return;
        }
        m_pairs.push_back({client, server});
    }

    // Passes what one side sent to the other; a side that has gone ends the pair.
    void pass(size_t pair, bool fromClient)
    {
        const auto [client, server] = m_pairs[pair];
        char chunk[ChunkSize];
        const ssize_t received = read(fromClient ? client : server, chunk, sizeof chunk);
        const bool lost = !fromClient && m_losingAnswers;
        const bool sent = received > 0 && (lost || write(fromClient ? server : client, chunk, size_t(received)) == received);
        if (sent && !(fromClient && m_cutArmed))
            return;
        if (sent)
            m_cutArmed = false;
        close(client);
        close(server);
        m_pairs.erase(m_pairs.begin() + qsizetype(pair));
    }

    quint16 m_serverPort;
    quint16 m_port = 0;
    int m_listener = -1;
    std::vector<std::pair<int, int>> m_pairs;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_cutArmed{false};
    std::atomic<bool> m_losingAnswers{false};
    std::thread m_thread;
};

} // namespace granovia::test
