#!/usr/bin/env bash
# Builds and runs every test: the Linux build, the same under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")"
for preset in default sanitize; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j2
done
