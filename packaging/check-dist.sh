#!/usr/bin/env bash
# Checks what the packages carry besides programs: every manual page renders
# without a warning, the desktop entries validate without even a hint, and
# the service unit's exposure stays low (its score is printed).
#
#   packaging/check-dist.sh BUILD-DIR
set -uo pipefail
build=$(cd "${1:?usage: check-dist.sh BUILD-DIR}" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
failed=0

pages=("$build"/docs/man/*.gz)
[ -e "${pages[0]}" ] || { echo "check-dist: no manual pages in $build/docs/man"; exit 1; }
for page in "${pages[@]}"; do
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "FAILED: $(basename "$page"): $warnings"
        failed=$((failed + 1))
    else
        echo "ok: manual page $(basename "$page" .gz)"
    fi
done

for entry in "$source"/packaging/desktop/*.desktop; do
    if output=$(desktop-file-validate "$entry" 2>&1) && [ -z "$output" ]; then
        echo "ok: desktop entry $(basename "$entry")"
    else
        echo "FAILED: $(basename "$entry"): $output"
        failed=$((failed + 1))
    fi
done

# The score runs from 0 (no exposure) to 10; systemd calls up to 2 "OK".
unit=$build/server/app/korrind.service
if report=$(systemd-analyze security --offline=true --threshold=20 "$unit" 2>&1); then
    echo "ok: $(echo "$report" | grep 'Overall exposure')"
else
    echo "$report"
    echo "FAILED: korrind.service exposes more than 2.0"
    failed=$((failed + 1))
fi

[ $failed -eq 0 ] || { echo "check-dist: $failed checks failed"; exit 1; }
echo "check-dist: manual pages, desktop entries and unit as expected"
