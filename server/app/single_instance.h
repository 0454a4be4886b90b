// One server per network namespace. The name of an abstract Unix socket
// stands in for the caption of the running server's main window: like port
// 67 it is scoped to the network namespace, and the kernel frees it when the
// holder exits, however it exits.
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
    // another process holds it. When the check itself cannot be made the
    // server is let through: a second copy then fails on port 67 instead.
    bool Acquire();
    void Release();
    bool Held() const { return fd_ >= 0; }

    // Whether any socket holds `name` now, this process's own lock included.
    static bool HeldElsewhere(const std::string& name);

private:
    std::string name_;
    int fd_ = -1;
};

} // namespace korrind
