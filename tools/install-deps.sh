#!/usr/bin/env bash
# Installs every build and test dependency from Debian packages. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git
  clang-14 libclang-rt-14-dev clang-format
  qt6-base-dev qt6-tools-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev libxcb1-dev
  libicu-dev libacl1-dev acl libcap2-bin
  tzdata libc-bin
  libsystemd-dev nlohmann-json3-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev libspdlog-dev libfmt-dev
  iproute2 klibc-utils bootpc isc-dhcp-client util-linux procps
  shellcheck
  xvfb xauth fonts-dejavu-core
  dpkg-dev scdoc man-db desktop-file-utils logrotate systemd
  dbus passwd
  etcd-server etcd-client libcurl4-openssl-dev unixodbc unixodbc-dev libsqliteodbc
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
