#!/usr/bin/env bash
# Installs korrind to run without root: the program (cmake --install), its
# own system user, a state folder with the example host table, a log folder,
# the registry defaults (only values that are not set yet), and a systemd
# unit that runs it as that user with CAP_NET_BIND_SERVICE for port 67.
#
#   tools/install-korrind.sh [--build DIR] [--prefix DIR] [--enable] [--start]
#                            [--file-capability]
#
# --enable enables the unit at boot, --start (re)starts it now.
# --file-capability also gives the program itself the capability, for
# operators who start it by hand; it is then executable only by root and the
# group korrind. Run as root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
prefix=/usr/local
enable=0
start=0
file_capability=0
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --enable) enable=1; shift ;;
    --start) start=1; shift ;;
    --file-capability) file_capability=1; shift ;;
    -h | --help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "install-korrind: unknown argument $1" >&2; exit 2 ;;
    esac
done
[ "$(id -u)" -eq 0 ] || { echo "install-korrind: run as root" >&2; exit 1; }
[ -x "$build/server/app/korrind" ] || {
    echo "install-korrind: build first (cmake --build $build)" >&2
    exit 1
}

state=/var/lib/korrind
logs=/var/log/korrind
registry=/var/lib/olvani/registry
settings='HKEY_LOCAL_MACHINE\SOFTWARE\Tarvex\Olvani\BootpSettings'

# The build tree was configured with its own prefix; the unit and the
# defaults name the paths of this one.
cmake -S "$root" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$build" --parallel "$(nproc)" >/dev/null
cmake --install "$build" --prefix "$prefix"
bin=$prefix/bin/korrind
share=$prefix/share/olvani/korrind

getent group korrind >/dev/null || groupadd --system korrind
id -u korrind >/dev/null 2>&1 ||
    useradd --system --gid korrind --home-dir "$state" --no-create-home \
        --shell /usr/sbin/nologin --comment "OXL Bootp Server" korrind

# The server rewrites its table beside a backup, so it owns the folder.
install -d -o korrind -g korrind -m 0750 "$state" "$logs"
if [ ! -f "$state/bootptab" ]; then
    install -o korrind -g korrind -m 0640 "$share/bootptab.example" "$state/bootptab"
fi

# The server opens its settings key for full access, as the settings editor
# does: the hive must be writable by its group. New files in the setgid
# folder keep the group.
install -d -m 2775 "$registry"
chgrp korrind "$registry"
chmod 2775 "$registry"
reg=(env OLVANI_REGISTRY_DIR="$registry" "$prefix/bin/olvani-reg")
while IFS='=' read -r name value; do
    name=${name//\"/}
    value=${value//\"/}
    if ! "${reg[@]}" get "$settings" "$name" >/dev/null 2>&1; then
        "${reg[@]}" set "$settings" "$name" "$value"
        echo "install-korrind: $settings $name = $value"
    fi
done < <(tr -d '\r' <"$share/BootpSettings.reg" | grep '^"')
hive=$registry/HKEY_LOCAL_MACHINE.reg
chgrp korrind "$hive"
chmod g+rw "$hive"

# Port 67 without root comes from the unit's ambient capability. A file
# capability would let every local user start a server on port 67, so the
# program keeps one only on request, and then only root and the group
# korrind may run it (it ignores its caller's environment then).
if [ $file_capability -eq 1 ]; then
    chown root:korrind "$bin"
    chmod 0750 "$bin"
    setcap cap_net_bind_service=+ep "$bin"
    getcap "$bin"
else
    setcap -r "$bin" 2>/dev/null || true
fi

install -m 0644 "$share/korrind.service" /etc/systemd/system/korrind.service
if [ -d /run/systemd/system ]; then
    systemctl daemon-reload
    [ $enable -eq 0 ] || systemctl enable korrind.service
    [ $start -eq 0 ] || systemctl restart korrind.service
    echo "install-korrind: systemctl status korrind shows the service"
else
    echo "install-korrind: systemd is not running here; the unit is in /etc/systemd/system"
fi
echo "install-korrind: table $state/bootptab, log $logs/trace.txt, settings in $registry"
