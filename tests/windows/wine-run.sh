#!/bin/sh
# Runs a Windows program under wine: wine-run.sh PREFIX [PROGRAM [ARGUMENTS...]]
# PREFIX is a wine prefix of its own, made quietly on first use; without a program the prefix
# is only made ready. Runs that follow each other closely share one wine server and its
# services, started here apart from any run: a service that a run started would hold that
# run's output open long after the run has ended.
set -eu
prefix=$(realpath -m "$1")
shift
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$prefix"
(
    flock 9
    # Status 0: no server was running for the prefix, and this one stays 10 s after the last
    # program has gone. Nothing started here keeps the lock.
    if wineserver -p10 >/dev/null 2>&1 9>&-; then
        if [ -f "$prefix/.ready" ]; then
            wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
        else
            wineboot -i </dev/null >/dev/null 2>&1 9>&-
            touch "$prefix/.ready"
        fi
    fi
) 9>"$prefix.lock"
if [ $# -gt 0 ]; then
    exec wine "$@"
fi
