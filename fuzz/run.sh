#!/usr/bin/env bash
# Builds the fuzz targets (configuring build-fuzz when it is missing) and runs
# every fuzz_* program, or the ones named, for SECONDS each. Each target keeps
# its corpus in fuzz/corpus-<name> (not in git), seeded from
# fuzz/seeds/<name>/ or fuzz/seeds/<area>_<name>/, where <name> is the program
# name without "fuzz_". Crash inputs go to build-fuzz/findings/<program>/.
#
#   fuzz/run.sh SECONDS [fuzz_png fuzz_jpeg ...]
set -uo pipefail

seconds=${1:?usage: fuzz/run.sh SECONDS [fuzz_target ...]}
shift
here=$(cd "$(dirname "$0")" && pwd)
build=$(dirname "$here")/build-fuzz

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$here" -B "$build" -G Ninja \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$build.configure.log" 2>&1 \
        || { cat "$build.configure.log"; exit 1; }
fi
ninja -C "$build" -j2 "$@" >"$build/ninja.log" 2>&1 || { tail -40 "$build/ninja.log"; exit 1; }

if [ $# -gt 0 ]; then
    programs=("$@")
else
    programs=()
    for program in "$build"/fuzz_*; do
        [ -f "$program" ] && [ -x "$program" ] && programs+=("$(basename "$program")")
    done
fi

found=0
for program in "${programs[@]}"; do
    name=${program#fuzz_}
    corpus=$here/corpus-$name
    findings=$build/findings/$program
    mkdir -p "$corpus" "$findings"
    seeds=()
    for dir in "$here/seeds/$name" "$here"/seeds/*_"$name"; do
        [ -d "$dir" ] && seeds+=("$dir")
    done
    log=$build/findings/$program.log
    "$build/$program" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 \
        -rss_limit_mb=4096 -artifact_prefix="$findings/" "$corpus" "${seeds[@]}" >"$log" 2>&1
    status=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    crashes=$(find "$findings" -type f | wc -l)
    if [ $status -eq 0 ] && [ "$crashes" -eq 0 ]; then
        echo "$program: ${runs:-?} executions in ${seconds}s, no crash"
    else
        found=1
        echo "$program: ${runs:-?} executions, FOUND A CRASH (exit $status; see $log and $findings)"
    fi
done
exit $found
