#!/usr/bin/env bash
# Builds and runs every test: the Linux build, the same under ASan and UBSan, where they are
# installed the 32-bit Windows build's tests under wine, and a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")"
presets=(default sanitize)
if command -v i686-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
    presets+=(windows windows-e2e)
elif [ -n "${ORVANE_REQUIRE_WINDOWS:-}" ]; then
    echo "The Windows build's cross compiler or wine is missing." >&2
    exit 1
else
    echo "Windows build skipped: it needs g++-mingw-w64-i686-posix, wine, wine32:i386 and wine64" \
         "(.ci/run installs them)."
fi
if command -v clang++ >/dev/null; then
    presets+=(fuzz)
elif [ -n "${ORVANE_REQUIRE_FUZZ:-}" ]; then
    echo "clang++ is missing for the fuzz targets." >&2
    exit 1
else
    echo "Fuzz targets skipped: they need clang and libclang-rt-14-dev (.ci/run installs them)."
fi
for preset in "${presets[@]}"; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j2
done
