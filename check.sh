#!/usr/bin/env bash
# Builds and runs every test: the Linux build, the same under ASan and UBSan, the 32-bit Windows
# build's unit tests under wine, and the end-to-end tests against the Windows program.
set -euo pipefail
cd "$(dirname "$0")"
for preset in default sanitize windows windows-e2e; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j2
done
