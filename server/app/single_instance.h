// One server per network namespace. The name of an abstract Unix socket
// stands in for the caption of the running server's main window: like port
// 67 it is scoped to the network namespace, and the kernel frees it when the
// holder exits, however it exits. Any local user can bind such a name, so a
// holder counts only when it runs as the same user or as root (its
// credentials come with a connection to it).
#pragma once

#include <string>

namespace korrind {

class InstanceLock {
public:
    explicit InstanceLock(std::string name) : name_(std::move(name)) {}
    ~InstanceLock() { Release(); }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process now holds the name (or already did); false when
    // another process of this user or of root holds it. When the check
    // itself cannot be made, or the holder is another user's, the server is
    // let through without the name: a second copy then fails on port 67.
    bool Acquire();
    void Release();
    bool Held() const { return fd_ >= 0; }
    // The listening socket while held, else -1: the running copy answers
    // requests of its own user (or root) on it.
    int Handle() const { return fd_; }

    // Whether a process of this user or of root holds `name` now, this
    // process's own lock included.
    static bool HeldElsewhere(const std::string& name);

    // Asks the holder of `name`, when it is of this user or root, to show
    // its window: 1 shown, 0 no holder of ours, -1 it did not answer as
    // asked (`error` says why).
    static int AskHolderToShow(const std::string& name, std::string& error);

    // The request and its answer on the channel.
    static constexpr const char* kShowRequest = "show";
    static constexpr const char* kDoneAnswer = "ok";

private:
    std::string name_;
    int fd_ = -1;
};

} // namespace korrind
