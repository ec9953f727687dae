#!/usr/bin/env bash
# Runs every benchmark program of the build; each prints `BENCH <name> <value> <unit>` lines.
set -euo pipefail
build_dir=${1:-build}
status=0
for b in "$build_dir"/bench/bench_*; do
    [ -x "$b" ] || continue
    "$b" || status=1
done
exit $status
