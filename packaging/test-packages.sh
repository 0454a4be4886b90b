#!/usr/bin/env bash
# Builds the Debian packages from a build folder configured with
# -DCMAKE_INSTALL_PREFIX=/usr, twice (releases 1 and 2), then installs,
# upgrades and purges them. The installing happens in a mount namespace of
# its own, with throwaway overlays over /usr, /etc and /var and an empty /run:
# dpkg, useradd and the maintainer scripts change only the overlays, and this
# machine is left as it was. Needs root.
#
#   packaging/test-packages.sh BUILD-DIR
set -euo pipefail

if [ "${1:-}" = --inside ]; then
    shift
else
    build=$(cd "${1:?usage: test-packages.sh BUILD-DIR}" && pwd)
    [ "$(id -u)" -eq 0 ] || { echo "test-packages: run as root" >&2; exit 1; }
    out=$build/packages
    rm -rf "$out"
    for release in 1 2; do
        (cd "$build" && cpack -G DEB -B "$out/$release" \
            -D CPACK_DEBIAN_PACKAGE_RELEASE=$release >"$out.log" 2>&1) ||
            { cat "$out.log"; exit 1; }
        rm -rf "$out/$release/_CPack_Packages"
    done
    ls -l "$out"/1/*.deb
    scratch=$(mktemp -d)
    status=0
    unshare --mount --propagation private "$0" --inside "$out" "$scratch" || status=$?
    rmdir "$scratch"
    exit $status
fi

out=$1
scratch=$2
mount -t tmpfs tmpfs "$scratch"
for dir in usr etc var; do
    mkdir "$scratch/$dir.upper" "$scratch/$dir.work"
    mount -t overlay overlay \
        -o "lowerdir=/$dir,upperdir=$scratch/$dir.upper,workdir=$scratch/$dir.work" "/$dir"
done
# No systemd here: the maintainer scripts must not reach the machine's own.
mount -t tmpfs tmpfs /run

failed=0
check() {
    local what=$1
    shift
    if "$@" >/dev/null 2>&1; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failed=$((failed + 1))
    fi
}
mode_of() { stat -c '%a %U:%G' "$1"; }
is() { [ "$1" = "$2" ]; }
reg() { OLVANI_REGISTRY_DIR=/var/lib/olvani/registry olvani-reg "$@"; }

# The installed server, started as the user korrind from its folder in a
# network namespace of its own, binds port 67 (0043 in /proc/net/udp) and
# stops cleanly on SIGTERM.
korrind_serves() {
    unshare --net sh -c '
        cd /var/lib/korrind
        env -u DISPLAY -u WAYLAND_DISPLAY setpriv --reuid korrind --regid korrind \
            --init-groups /usr/bin/korrind & pid=$!
        for i in $(seq 100); do
            if grep -q ":0043 " /proc/net/udp; then
                kill -TERM $pid
                wait $pid
                exit
            fi
            kill -0 $pid 2>/dev/null || exit 1
            sleep 0.1
        done
        kill -KILL $pid
        exit 1'
}
settings='HKLM\SOFTWARE\Tarvex\Olvani\BootpSettings'
mapfile -t packages < <(for deb in "$out"/1/*.deb; do dpkg-deb -f "$deb" Package; done)
# The programs and the SONAME links of the libraries the packages installed.
installed_elf_files() {
    for package in "${packages[@]}"; do dpkg -L "$package"; done |
        grep -E '^/usr/bin/|^/usr/lib/.*\.so\.[0-9]+$'
}

echo "--- install (no systemd running: the program file gets the capability)"
dpkg -i "$out"/1/*.deb
check "packages installed" dpkg -s "${packages[@]}"
check "user korrind without a login shell" is "$(getent passwd korrind | cut -d: -f7)" /usr/sbin/nologin
check "state folder" is "$(mode_of /var/lib/korrind)" "750 korrind:korrind"
check "log folder" is "$(mode_of /var/log/korrind)" "750 korrind:korrind"
check "example table in place" is "$(mode_of /var/lib/korrind/bootptab)" "640 korrind:korrind"
check "registry folder" is "$(mode_of /var/lib/olvani/registry)" "2775 root:korrind"
check "hive writable by the group" is "$(mode_of /var/lib/olvani/registry/HKEY_LOCAL_MACHINE.reg)" \
    "664 root:korrind"
check "table path set" is "$(reg get "$settings" Bootptabfile)" /var/lib/korrind/bootptab
check "file capability" bash -c "getcap /usr/bin/korrind | grep -q cap_net_bind_service=ep"
check "capable program runs for its group only" is "$(mode_of /usr/bin/korrind)" "750 root:korrind"
mapfile -t sonames < <(installed_elf_files | grep '\.so\.' | xargs -rn1 basename)
for soname in "${sonames[@]}"; do
    check "$soname found by the loader" bash -c "ldconfig -p | grep -q '^\s*$soname '"
done
check "every library of the programs found" bash -c \
    "! ldd $(installed_elf_files | tr '\n' ' ') | grep -q 'not found'"
# verify also opens the unit's manual pages; it prints what it ignores.
check "unit verifies without a remark" bash -c \
    '[ -z "$(systemd-analyze verify /lib/systemd/system/korrind.service 2>&1)" ]'
check "log rotation configuration reads" logrotate -d /etc/logrotate.d/korrind
check "korrind serves port 67 as user korrind" korrind_serves

echo "--- the operator's changes"
printf '\r\nlab9:\\\r\nht=1:\\\r\nha=02004C1234AA:\\\r\nip=10.77.0.9:\r\n' >>/var/lib/korrind/bootptab
reg set "$settings" EnableLogging 1
reg set "$settings" Bootplogfile /var/log/korrind/bootp.txt
cp -p /var/lib/korrind/bootptab "$scratch/table"
reg export >"$scratch/registry"

echo "--- upgrade (systemd present: the unit supplies the capability)"
mkdir -p /run/systemd/system
dpkg -i "$out"/2/*.deb
check "release 2 installed" is "$(dpkg-query -W -f '${Version}' korrind)" 1.0.0-2
check "table kept" cmp /var/lib/korrind/bootptab "$scratch/table"
check "table owner kept" is "$(mode_of /var/lib/korrind/bootptab)" "640 korrind:korrind"
check "settings kept" bash -c "OLVANI_REGISTRY_DIR=/var/lib/olvani/registry olvani-reg export |
    cmp - '$scratch/registry'"
check "no file capability under systemd" bash -c "! getcap /usr/bin/korrind | grep -q cap_"
rmdir /run/systemd/system

echo "--- log rotation"
runuser -u korrind -- sh -c 'echo "Status: one line" >>/var/log/korrind/bootp.txt'
logrotate -f -s "$scratch/logrotate.state" /etc/logrotate.d/korrind
check "log rotated by renaming" test -s /var/log/korrind/bootp.txt.1 -a ! -e /var/log/korrind/bootp.txt

echo "--- purge"
dpkg --purge "${packages[@]}"
for package in "${packages[@]}"; do
    check "$package purged" bash -c "! dpkg-query -W -f '\${Status}' $package 2>/dev/null | grep -q ."
done
check "program, unit and configuration gone" bash -c \
    "! ls /usr/bin/korrind /usr/bin/olvani-reg /lib/systemd/system/korrind.service \
          /etc/logrotate.d/korrind"
check "table, log and registry gone" bash -c "! ls -d /var/lib/korrind /var/log/korrind /var/lib/olvani"
for soname in "${sonames[@]}"; do
    check "$soname left the loader cache" bash -c "! ldconfig -p | grep -q '^\s*$soname '"
done

if [ $failed -ne 0 ]; then
    echo "test-packages: $failed checks failed"
    exit 1
fi
echo "test-packages: install, upgrade and purge as expected"
