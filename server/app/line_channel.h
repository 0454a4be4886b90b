// Serves one request line with one answer line on a listening Unix socket,
// inside the Qt event loop and without ever blocking it: the one-instance
// socket answers "show", the control socket answers korrind-ctl. Each
// connection is checked against the peer's credentials first; lines, the
// answers waiting to be sent and the number of clients are bounded.
#pragma once

#include "server/app/peer_channel.h"

#include <QObject>

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace korrind {

class LineChannel : public QObject {
    Q_OBJECT
public:
    using PeerCheck = std::function<bool(const PeerCredentials&)>;
    // One request line (without its end) in, one answer line out.
    using Handler = std::function<std::string(const std::string& line)>;

    struct Limits {
        size_t maxLine = 64 * 1024;
        size_t maxClients = 8;
    };

    // listenFd stays the caller's; it must outlive the channel.
    LineChannel(int listenFd, PeerCheck check, Handler handler, Limits limits,
                QObject* parent = nullptr);
    ~LineChannel() override;

    size_t Clients() const { return clients_.size(); }

    // The answer to a line longer than the limit, after which the
    // connection closes.
    static constexpr const char* kLineTooLong = "{\"ok\":false,\"message\":\"request too long\"}";

private:
    struct Client;
    void Accept();
    void Read(Client* client);
    void Flush(Client* client);
    void Drop(Client* client);

    int listenFd_;
    PeerCheck check_;
    Handler handler_;
    Limits limits_;
    QSocketNotifier* acceptNotifier_;
    std::list<std::unique_ptr<Client>> clients_;
    std::vector<std::unique_ptr<Client>> dropped_;
};

} // namespace korrind
