// The Qt-free half of korrind's local channels (the one-instance socket and
// the control socket): who is on the other end of a connection, and the
// client side of one request line answered by one line.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korrind {

struct PeerCredentials {
    pid_t pid = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups; // supplementary groups
};

// The credentials the kernel recorded for the peer of a connected Unix
// socket; nullopt when they cannot be read.
std::optional<PeerCredentials> ReadPeerCredentials(int fd);

// The peer runs as this process's effective user or as root.
bool PeerIsUserOrRoot(const PeerCredentials& peer);
// PeerIsUserOrRoot, or the peer is a member (primary or supplementary) of
// this process's effective group: the service's group.
bool PeerIsUserGroupOrRoot(const PeerCredentials& peer);

// A connected stream socket to the abstract name or to the socket file at
// `path`; -1 with errno set.
int ConnectAbstract(const std::string& name);
int ConnectPath(const std::string& path);

// Sends `request` and a line end, then reads one answer line (without its
// end). Bounded in time and size: nullopt with a reason in `error` when the
// peer closes, is silent for `timeoutMs` or answers with more than
// `maxAnswer` bytes.
std::optional<std::string> AskOneLine(int fd, const std::string& request, int timeoutMs,
                                      size_t maxAnswer, std::string& error);

} // namespace korrind
