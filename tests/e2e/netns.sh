# shellcheck shell=bash
# Shared by the end-to-end tests: two network namespaces of their own joined
# by a veth pair, the server (bootp-driver) in one, clients in the other.
# Nothing leaves the two namespaces; everything is removed on exit.
#
# Addresses: server 10.67.0.1/24. The client side starts without an address
# and with a route for the limited broadcast only. The server namespace has
# no route for 255.255.255.255 and no default route, so a reply that reaches
# the client proves it was pinned to the receiving interface.
#
# Source this file, then call e2e_setup; $DRIVER (and for some tests $PROBE)
# name the programs.

set -euo pipefail

E2E_ID=$$
SRV_NS=bootp-srv-$E2E_ID
CLI_NS=bootp-cli-$E2E_ID
SRV_IF=bs$E2E_ID
CLI_IF=bc$E2E_ID
SRV_ADDR=10.67.0.1
# The client veth's hardware address, in the table's form and with colons.
# shellcheck disable=SC2034 # used by the scripts that source this one
CLI_MAC=02000a43000a
CLI_MAC_COLONS=02:00:0a:43:00:0a
WORK=""
DRIVER_PID=""

e2e_require_root() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "SKIP: end-to-end tests create network namespaces and need root"
        exit 77
    fi
}

e2e_cleanup() {
    set +e
    e2e_stop_driver
    # Anything still running inside the namespaces was started by this test.
    local pid
    for pid in $(ip netns pids "$SRV_NS" 2>/dev/null) $(ip netns pids "$CLI_NS" 2>/dev/null); do
        kill -9 "$pid" 2>/dev/null
    done
    ip netns del "$SRV_NS" 2>/dev/null
    ip netns del "$CLI_NS" 2>/dev/null
    [ -n "$WORK" ] && rm -rf "$WORK"
}

e2e_fail() {
    echo "FAIL: $*"
    if [ -n "$WORK" ] && [ -f "$WORK/driver.out" ]; then
        echo "--- driver output (last 40 lines) ---"
        tail -n 40 "$WORK/driver.out"
    fi
    exit 1
}

# Runs a command in the server or client namespace.
in_srv() { ip netns exec "$SRV_NS" "$@"; }
in_cli() { ip netns exec "$CLI_NS" "$@"; }

# Runs a command in the client namespace with a private /run, where klibc
# ipconfig and dhclient write their state, and a private host name, which
# ipconfig sets from the reply.
in_cli_private_run() {
    ip netns exec "$CLI_NS" unshare -m --uts sh -c 'mount -t tmpfs tmpfs /run && exec "$@"' sh "$@"
}

# Waits (bounded) until the interface $2 in namespace $1 has its carrier.
e2e_wait_link_up() {
    local tries=100
    until ip -n "$1" link show dev "$2" | grep -q "state UP"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

e2e_setup() {
    e2e_require_root
    : "${DRIVER:?DRIVER must name the bootp-driver program}"
    # The driver runs in the test's folder.
    DRIVER=$(realpath "$DRIVER")
    trap e2e_cleanup EXIT
    WORK=$(mktemp -d /tmp/bootp-e2e.XXXXXX)
    chmod 755 "$WORK"
    ip netns add "$SRV_NS"
    ip netns add "$CLI_NS"
    ip link add "$SRV_IF" netns "$SRV_NS" type veth peer name "$CLI_IF" netns "$CLI_NS"
    ip -n "$CLI_NS" link set "$CLI_IF" address "$CLI_MAC_COLONS"
    local ns dev
    for ns in "$SRV_NS" "$CLI_NS"; do
        [ "$ns" = "$SRV_NS" ] && dev=$SRV_IF || dev=$CLI_IF
        ip -n "$ns" link set lo up
        ip netns exec "$ns" sysctl -qw net.ipv4.conf.all.rp_filter=0 \
            net.ipv4.conf.default.rp_filter=0 "net.ipv4.conf.$dev.rp_filter=0"
        ip -n "$ns" link set "$dev" up
    done
    ip -n "$SRV_NS" addr add "$SRV_ADDR/24" dev "$SRV_IF"
    # A datagram sent before the pair has its carrier is lost.
    e2e_wait_link_up "$SRV_NS" "$SRV_IF" || e2e_fail "$SRV_IF did not come up"
    e2e_wait_link_up "$CLI_NS" "$CLI_IF" || e2e_fail "$CLI_IF did not come up"
    ip -n "$CLI_NS" route add 255.255.255.255/32 dev "$CLI_IF"
    # The registry names the table; the dump goes beside it.
    mkdir -p "$WORK/registry"
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex\\Olvani\\BootpSettings]\r\n"Bootptabfile"="%s"\r\n' \
        "$WORK/bootptab" > "$WORK/registry/HKEY_LOCAL_MACHINE.reg"
    : > "$WORK/bootptab"
}

# The driver's host name: "localhost" resolves to a loopback address
# everywhere, so replies must carry the receiving interface's address.
DRIVER_HOSTNAME=${DRIVER_HOSTNAME:-localhost}

# The command that runs the driver in the server namespace under its own
# host name for at most $1 seconds; the driver's arguments follow it.
e2e_driver_command() {
    DRIVER_COMMAND=(ip netns exec "$SRV_NS" env OLVANI_REGISTRY_DIR="$WORK/registry"
        unshare --uts sh -c 'hostname "$1" && shift && exec "$@"' sh "$DRIVER_HOSTNAME"
        timeout --foreground "$1" "$DRIVER")
}

# Runs the driver to its end in $WORK; its output goes to standard output.
e2e_run_driver() {
    e2e_driver_command 30
    (cd "$WORK" && exec "${DRIVER_COMMAND[@]}" "$@")
}

# Starts the driver in the background and waits until it listens: its own
# "listening" line in a fresh output file, and port 67 bound.
e2e_start_driver() {
    e2e_driver_command 600
    # The shell opens the output file only after the fork; removed first, a
    # line a previous driver wrote there can never be taken for this one's.
    rm -f "$WORK/driver.out"
    (cd "$WORK" && exec "${DRIVER_COMMAND[@]}" "$@") > "$WORK/driver.out" 2>&1 &
    DRIVER_PID=$!
    e2e_wait_for_line "driver: listening" 100 || e2e_fail "the driver did not start"
    in_srv grep -q ':0043 ' /proc/net/udp || e2e_fail "the driver does not listen on port 67"
}

# Waits (bounded: tries x 0.1 s) until the driver's output holds a line
# containing the text.
e2e_wait_for_line() {
    local text=$1 tries=${2:-100}
    while [ "$tries" -gt 0 ]; do
        grep -qF -- "$text" "$WORK/driver.out" 2>/dev/null && return 0
        if [ -n "$DRIVER_PID" ] && ! kill -0 "$DRIVER_PID" 2>/dev/null; then
            grep -qF -- "$text" "$WORK/driver.out" 2>/dev/null && return 0
            return 1
        fi
        sleep 0.1
        tries=$((tries - 1))
    done
    return 1
}

# Stops the driver and waits (bounded) for it to end.
e2e_stop_driver() {
    [ -n "$DRIVER_PID" ] || return 0
    kill "$DRIVER_PID" 2>/dev/null || true
    local tries=100
    while kill -0 "$DRIVER_PID" 2>/dev/null && [ "$tries" -gt 0 ]; do
        sleep 0.1
        tries=$((tries - 1))
    done
    kill -9 "$DRIVER_PID" 2>/dev/null || true
    wait "$DRIVER_PID" 2>/dev/null || true
    DRIVER_PID=""
}

expect_contains() {
    local file=$1 text=$2
    grep -qF -- "$text" "$file" || e2e_fail "expected \"$text\" in $(basename "$file")"
}

# Marks the end of the driver's output so far; e2e_request_lines looks only
# at what comes after the mark.
e2e_mark() {
    MARK=$(wc -l < "$WORK/driver.out")
}

# Waits for the driver to finish the next notification after the mark and
# prints the lines it added between the two "outer most layer" lines.
e2e_request_lines() {
    local tries=50
    while ! tail -n +$((MARK + 1)) "$WORK/driver.out" |
        grep -qF "Status: BOOTP Request finished processing at outer most layer"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || e2e_fail "the driver did not handle the datagram"
        sleep 0.1
    done
    tail -n +$((MARK + 1)) "$WORK/driver.out" |
        sed -n '/received at outer most layer/,/finished processing at outer most layer/p' |
        sed '1d;$d'
}

# Starts korrind ($KORRIND) in $WORK, in the server namespace under the host
# name korrind-e2e, and waits (bounded) until it listens on port 67. Its
# output goes to $WORK/driver.out. The first argument names a hosts file to
# stand for /etc/hosts there, or is empty; the rest are settings for `env`
# (NAME=value or -u NAME). No display reaches it.
e2e_start_korrind() {
    : "${KORRIND:?KORRIND must name the korrind program}"
    local hosts=$1
    shift
    (cd "$WORK" && exec ip netns exec "$SRV_NS" unshare -u -m sh -c \
        'hostname korrind-e2e && { [ -z "$1" ] || mount --bind "$1" /etc/hosts; } && shift && exec "$@"' \
        sh "$hosts" env -u DISPLAY -u WAYLAND_DISPLAY "$@" OLVANI_REGISTRY_DIR="$WORK/registry" \
        timeout --foreground 300 "$KORRIND") >"$WORK/driver.out" 2>&1 &
    DRIVER_PID=$!
    local _
    for _ in $(seq 200); do
        in_srv grep -q ':0043 ' /proc/net/udp && return 0
        kill -0 "$DRIVER_PID" 2>/dev/null || e2e_fail "korrind ended at start"
        sleep 0.1
    done
    e2e_fail "korrind does not listen on port 67"
}
