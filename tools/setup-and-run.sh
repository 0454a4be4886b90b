#!/usr/bin/env bash
# One command on a fresh Debian 12 machine: install what the build needs, build,
# and run the BOOTP server on the embedded default (./var: a registry folder and
# an example host table inside the checkout).
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --parallel "$(nproc)"
if [ -x tools/run-korrind.sh ] && [ -x build/server/app/korrind ]; then
    exec ./tools/run-korrind.sh "$@"
fi
echo
echo "Built so far:"
find build -maxdepth 3 -type f -executable \( -name 'korrind' -o -name 'tesslin' -o -name 'olvani-reg' \
    -o -name 'bootp-driver' -o -name 'lib*.so' \) -printf '  %p\n' | sort
echo "The server program is not built yet; run the tests with: ./tools/run-tests.sh"
