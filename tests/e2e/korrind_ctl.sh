#!/usr/bin/env bash
# korrind-ctl against a running korrind, end to end: in a network namespace
# of its own, a klibc ipconfig client that is not in the table is listed by
# "unknown", "add" gives it an entry and it is answered, a refused "add"
# leaves the table as it was, "delete" removes the entry, and the socket
# refuses a user outside the server's group. Needs root; KORRIND and
# KORRIND_CTL name the programs.
. "$(dirname "$0")/netns.sh"
: "${KORRIND:?KORRIND must name the korrind program}"
: "${KORRIND_CTL:?KORRIND_CTL must name the korrind-ctl program}"
DRIVER=$KORRIND
e2e_setup

CLIENT_IP=10.67.0.10
CTL_SOCKET=$WORK/run/control
mkdir -m 755 "$WORK/run"
printf '%s\r\n' '# OXL Bootptab file' '' '# global defaults' 'global.defaults:\' \
    'sm=255.255.255.0:\' 'gw=10.67.0.1:' >"$WORK/bootptab"

(cd "$WORK" && exec ip netns exec "$SRV_NS" env -u DISPLAY -u WAYLAND_DISPLAY \
    QT_QPA_PLATFORM=offscreen OLVANI_REGISTRY_DIR="$WORK/registry" \
    KORRIND_CONTROL_SOCKET="$CTL_SOCKET" timeout --foreground 300 "$KORRIND") \
    >"$WORK/driver.out" 2>&1 &
DRIVER_PID=$!
for _ in $(seq 200); do
    [ -S "$CTL_SOCKET" ] && in_srv grep -q ':0043 ' /proc/net/udp && break
    kill -0 "$DRIVER_PID" 2>/dev/null || e2e_fail "korrind ended at start"
    sleep 0.1
done
[ -S "$CTL_SOCKET" ] || e2e_fail "no control socket"
[ "$(stat -c %a "$CTL_SOCKET")" = 660 ] || e2e_fail "control socket mode $(stat -c %a "$CTL_SOCKET")"

ctl() { "$KORRIND_CTL" --socket "$CTL_SOCKET" "$@"; }
ipconfig() {
    ip netns exec "$CLI_NS" unshare -m -u sh -c 'mount -t tmpfs tmpfs /run && exec "$@"' sh \
        timeout "$1" /usr/lib/klibc/bin/ipconfig -c bootp -t "$1" -d "$CLI_IF"
}

# The unknown client asks; korrind-ctl lists its hardware address.
ipconfig 30 >"$WORK/first.out" 2>&1 &
CLIENT_PID=$!
for _ in $(seq 100); do
    ctl unknown >"$WORK/unknown.out" && grep -q '^02000A43000A ' "$WORK/unknown.out" && break
    sleep 0.2
done
# The first client stops asking: everything in its namespace ends.
for pid in $(ip netns pids "$CLI_NS"); do kill "$pid" 2>/dev/null || true; done
wait "$CLIENT_PID" 2>/dev/null || true
cat "$WORK/unknown.out"
grep -Eq '^02000A43000A +[0-9-]+ [0-9:]+$' "$WORK/unknown.out" || e2e_fail "unknown does not list the client"

# add gives it an entry (mask and gateway from the defaults); the client is answered.
ctl add 02000a43000a host=lab1 ip=$CLIENT_IP comment=bench || e2e_fail "add refused"
ctl list >"$WORK/list.out"
cat "$WORK/list.out"
grep -Eq '^02000A43000A +lab1 +10.67.0.10 +255.255.255.0 +10.67.0.1 +bench$' "$WORK/list.out" ||
    e2e_fail "list does not show the new entry"
ipconfig 20 >"$WORK/client.out" 2>&1 || { cat "$WORK/client.out"; e2e_fail "ipconfig got no answer"; }
grep -Eq "address: $CLIENT_IP " "$WORK/client.out" || e2e_fail "ipconfig did not take the address"
ctl --json status >"$WORK/status.json"
grep -q '"answered":[1-9]' "$WORK/status.json" || e2e_fail "status counts no answer: $(cat "$WORK/status.json")"

# A refused add (the host name is taken) says why and leaves the table alone.
cp "$WORK/bootptab" "$WORK/bootptab.before"
status=0
ctl add 02000A43000B host=LAB1 ip=10.67.0.11 2>"$WORK/refused.err" || status=$?
[ "$status" -eq 1 ] || e2e_fail "a duplicate host name was not refused (status $status)"
grep -qx 'Duplicate host name specification' "$WORK/refused.err" || e2e_fail "refusal: $(cat "$WORK/refused.err")"
cmp -s "$WORK/bootptab" "$WORK/bootptab.before" || e2e_fail "a refused add changed the table"
# A comment that would break into lines of its own is refused the same way.
status=0
ctl add 02000A43000C host=lab3 ip=10.67.0.12 "comment=x
ha=02000A43000D:ip=10.67.0.13" 2>"$WORK/comment.err" || status=$?
[ "$status" -eq 1 ] || e2e_fail "a comment with a line break was not refused (status $status)"
grep -qx 'Invalid comment specification' "$WORK/comment.err" || e2e_fail "refusal: $(cat "$WORK/comment.err")"
cmp -s "$WORK/bootptab" "$WORK/bootptab.before" || e2e_fail "a refused comment changed the table"

# delete removes it.
ctl delete 02000A43000A || e2e_fail "delete refused"
grep -q 'ha=02000A43000A' "$WORK/bootptab" && e2e_fail "the entry is still in the table"
ctl list | grep -q 02000A43000A && e2e_fail "list still shows the entry"

# Outside the group: refused, even when the file's mode would let it in.
chmod 666 "$CTL_SOCKET"
status=0
setpriv --reuid=65534 --regid=65534 --clear-groups "$KORRIND_CTL" --socket "$CTL_SOCKET" status \
    >"$WORK/nobody.out" 2>&1 || status=$?
[ "$status" -ne 0 ] || e2e_fail "a user outside the group got an answer"
grep -q 'running' "$WORK/nobody.out" && e2e_fail "a user outside the group saw the status"

kill -TERM "$DRIVER_PID"
wait "$DRIVER_PID" || e2e_fail "korrind ended with status $? after SIGTERM"
DRIVER_PID=""
[ -e "$CTL_SOCKET" ] && e2e_fail "the control socket was left behind"
echo "PASS"
