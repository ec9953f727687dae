#!/usr/bin/env bash
# Runs every benchmark program of the build; each prints `BENCH <name> <value> <unit>` lines.
set -euo pipefail
build_dir=${1:-build}
status=0
for b in "$build_dir"/bench/bench_*; do
    # Only the programs: the build also leaves folders (bench_*_autogen) there, and -x is true for those.
    [ -f "$b" ] && [ -x "$b" ] || continue
    "$b" || status=1
done
exit $status
