#include "server/app/line_channel.h"

#include <QSocketNotifier>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace korrind {

struct LineChannel::Client {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> reader;
    std::unique_ptr<QSocketNotifier> writer;
    std::string input;
    std::string output;
    bool closing = false; // close once the output is sent
    bool busy = false;    // inside the handler
    bool dead = false;    // dropped while busy
    ~Client() {
        reader.reset();
        writer.reset();
        if (fd >= 0)
            ::close(fd);
    }
};

LineChannel::LineChannel(int listenFd, PeerCheck check, Handler handler, Limits limits,
                         QObject* parent)
    : QObject(parent), listenFd_(listenFd), check_(std::move(check)), handler_(std::move(handler)),
      limits_(limits), acceptNotifier_(new QSocketNotifier(listenFd, QSocketNotifier::Read, this)) {
    connect(acceptNotifier_, &QSocketNotifier::activated, this, &LineChannel::Accept);
}

LineChannel::~LineChannel() {
    delete acceptNotifier_;
    clients_.clear();
    dropped_.clear();
}

void LineChannel::Accept() {
    for (;;) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return; // EAGAIN: nothing more waiting
        std::optional<PeerCredentials> peer = ReadPeerCredentials(fd);
        if (!peer || !check_(*peer) || clients_.size() >= limits_.maxClients) {
            ::close(fd);
            continue;
        }
        auto client = std::make_unique<Client>();
        Client* raw = client.get();
        raw->fd = fd;
        raw->reader = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        raw->writer = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        raw->writer->setEnabled(false);
        connect(raw->reader.get(), &QSocketNotifier::activated, this, [this, raw] { Read(raw); });
        connect(raw->writer.get(), &QSocketNotifier::activated, this, [this, raw] { Flush(raw); });
        clients_.push_back(std::move(client));
    }
}

void LineChannel::Read(Client* client) {
    char buffer[4096];
    ssize_t n = ::recv(client->fd, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        Drop(client);
        return;
    }
    if (n < 0)
        return;
    client->input.append(buffer, static_cast<size_t>(n));
    // The handler may open a dialog and run a nested loop: this client is
    // not read again meanwhile, so its lines are answered in order.
    client->reader->setEnabled(false);
    client->busy = true;
    size_t end;
    while (!client->closing && (end = client->input.find('\n')) != std::string::npos) {
        std::string line = client->input.substr(0, end);
        client->input.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string answer = handler_(line);
        if (client->dead)
            break;
        client->output += answer + "\n";
        // A client that sends without reading gets no more than one
        // line's worth of answers queued.
        if (client->output.size() > limits_.maxLine * 4)
            client->closing = true;
    }
    client->busy = false;
    if (client->dead) {
        Drop(client);
        return;
    }
    if (client->input.size() > limits_.maxLine) {
        client->output += std::string(kLineTooLong) + "\n";
        client->closing = true;
    }
    if (!client->closing)
        client->reader->setEnabled(true);
    Flush(client);
}

void LineChannel::Flush(Client* client) {
    while (!client->output.empty()) {
        ssize_t n = ::send(client->fd, client->output.data(), client->output.size(),
                           MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            break;
        if (n <= 0) {
            Drop(client);
            return;
        }
        client->output.erase(0, static_cast<size_t>(n));
    }
    client->writer->setEnabled(!client->output.empty());
    if (client->output.empty() && client->closing)
        Drop(client);
}

void LineChannel::Drop(Client* client) {
    client->reader->setEnabled(false);
    client->writer->setEnabled(false);
    if (client->busy) {
        // Its handler still runs (a dialog's nested loop); it drops it after.
        client->dead = true;
        return;
    }
    // Deleting a notifier from inside its own signal is not allowed: the
    // client goes once control is back in the event loop.
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
        if (it->get() != client)
            continue;
        dropped_.push_back(std::move(*it));
        clients_.erase(it);
        if (dropped_.size() == 1)
            QMetaObject::invokeMethod(
                this, [this] { dropped_.clear(); }, Qt::QueuedConnection);
        return;
    }
}

} // namespace korrind
