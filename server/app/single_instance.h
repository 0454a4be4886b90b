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

    // Whether a process of this user or of root holds `name` now, this
    // process's own lock included.
    static bool HeldElsewhere(const std::string& name);

private:
    std::string name_;
    int fd_ = -1;
};

} // namespace korrind
