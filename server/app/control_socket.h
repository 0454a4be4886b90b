// The control socket's file: /run/korrind/control (the unit's runtime
// folder), a listening Unix socket of mode 0660 in the server's group.
// Tests name another path through KORRIND_CONTROL_SOCKET, which a program
// started with more rights than its caller never reads.
#pragma once

#include <string>
#include <sys/types.h>

namespace korrind {

inline constexpr char kDefaultControlSocket[] = "/run/korrind/control";
inline constexpr char kControlSocketVariable[] = "KORRIND_CONTROL_SOCKET";

// The path: the variable's value when set and allowed, else the default.
std::string ControlSocketPath();

class ControlSocket {
public:
    ControlSocket() = default;
    ~ControlSocket() { Close(); }
    ControlSocket(const ControlSocket&) = delete;
    ControlSocket& operator=(const ControlSocket&) = delete;

    // Binds and listens at `path`. The folder must be a real folder of
    // this user or root that others cannot write to (the service's runtime
    // folder; nothing is created without it). A leftover socket of ours no one listens on is
    // replaced; anything else there is left alone. False with the reason in
    // `error`.
    bool Open(const std::string& path, std::string& error);
    // Stops listening and removes the file, when it is still ours.
    void Close();
    int Handle() const { return fd_; }
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

} // namespace korrind
