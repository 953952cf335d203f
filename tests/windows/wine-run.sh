#!/bin/sh
# Runs a Windows program under wine: wine-run.sh PREFIX [PROGRAM [ARGUMENTS...]]
# PREFIX is a wine prefix of its own, made quietly on first use (once, even for parallel
# tests); without a program the prefix is only made.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -f "$prefix/.ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/.ready" ]; then
            wineboot -i >/dev/null 2>&1
            touch "$prefix/.ready"
        fi
    ) 9>"$prefix.lock"
fi
if [ $# -gt 0 ]; then
    exec wine "$@"
fi
