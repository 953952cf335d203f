#!/usr/bin/env bash
# Builds orvane, writes a damaged sample file set into sample/ and repairs it with /A.
set -euo pipefail
cd "$(dirname "$0")"
cmake --preset default >/dev/null
cmake --build --preset default --target orvane orvane_make_sample >/dev/null
rm -rf sample
build/default/tools/orvane_make_sample sample
echo "\$ orvane sample/data.dat /A"
build/default/driver/orvane sample/data.dat /A
