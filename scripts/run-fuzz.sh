#!/usr/bin/env bash
# Runs the fuzz targets of fuzz/ (built in the clang build directory given first).
#
#   run-fuzz.sh BUILD_DIR check SECONDS    every target over its seed corpus, then SECONDS of fuzzing
#                                          each; fails on the first broken property or crash
#   run-fuzz.sh BUILD_DIR explore SECONDS  SECONDS of fuzzing each, the inputs found kept in
#                                          BUILD_DIR/corpus/<target> for the next run
#
# Both end with a summary: per target the executions, executions per second and new inputs found.
# A crash's input is written to BUILD_DIR/artifacts/<target>/; add it to fuzz/corpus/<target>/ once
# the fault is mended.
set -uo pipefail

build_dir=$1
mode=$2
seconds=$3
root=$(cd "$(dirname "$0")/.." && pwd)
seeds_root=$root/fuzz/corpus

# Larger inputs for the readers whose cost could grow faster than their input.
max_len_of() {
    case $1 in
    fuzz_settings_lint | fuzz_settings_document) echo 16384 ;;
    fuzz_update_descriptor) echo 70000 ;;
    fuzz_skin) echo 16384 ;;
    *) echo 4096 ;;
    esac
}

summary=()
status=0
for target in "$build_dir"/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    seeds=$seeds_root/$name
    artifacts=$build_dir/artifacts/$name/
    log=$build_dir/logs/$name.log
    mkdir -p "$artifacts" "$build_dir/logs" "$seeds"
    options=(-max_len="$(max_len_of "$name")" -timeout=20 -rss_limit_mb=2048 -artifact_prefix="$artifacts"
        -print_final_stats=1)

    if [ "$mode" = check ]; then
        # The seeds alone first: each is a regression input of its own.
        if ! "$target" "${options[@]}" -runs=0 "$seeds" >"$log" 2>&1; then
            echo "FAIL $name: a seed input breaks it (see $log)"
            tail -n 30 "$log"
            summary+=("$(printf '%-24s %s' "$name" "FAILED on its seed corpus")")
            status=1
            continue
        fi
        work=$(mktemp -d)
        corpus=("$work" "$seeds")
    else
        work=$build_dir/corpus/$name
        mkdir -p "$work"
        corpus=("$work" "$seeds")
    fi

    "$target" "${options[@]}" -max_total_time="$seconds" "${corpus[@]}" >"$log" 2>&1
    rc=$?
    [ "$mode" = check ] && rm -rf "$work"
    stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -n 1; }
    runs=$(stat number_of_executed_units)
    rate=$(stat average_exec_per_sec)
    found=$(stat new_units_added)
    result=ok
    if [ $rc -ne 0 ]; then
        result="FAILED (see $log; input in $artifacts)"
        status=1
        echo "FAIL $name:"
        grep -E 'property broken|ERROR: |runtime error|SUMMARY' "$log" | head -n 5
    fi
    summary+=("$(printf '%-24s %6ss %10s runs %8s exec/s %5s new  %s' "$name" "$seconds" "${runs:-?}" \
        "${rate:-?}" "${found:-?}" "$result")")
done

echo
echo "Fuzz summary ($mode, $seconds s per target):"
printf '  %s\n' "${summary[@]}"
exit $status
