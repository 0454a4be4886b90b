#!/usr/bin/env bash
# Builds and runs the whole test suite. Usage: tools/run-tests.sh [build-dir] [extra cmake args...]
# Network tests create their own namespaces and need root; everything else runs as any user.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B "$build" "${generator[@]}" -DOLVANI_WERROR=ON "$@"
cmake --build "$build" --parallel "$(nproc)"
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 600
