#!/usr/bin/env bash
# A fuzzing campaign: builds the libFuzzer targets with clang under ASan and UBSan (folder
# build-fuzz), runs each target from its kept corpus for the given time, merges the inputs that
# reach new code into fuzz/corpus/TARGET/ (small files only) and prints, per target, the runs,
# the coverage along the way and the findings (crash, leak, timeout and out-of-memory inputs,
# kept in build-fuzz/findings/TARGET/).
#
#   scripts/fuzz.sh TARGET|all SECONDS
#
# TARGET is a fuzz/fuzz_*.cpp name with or without "fuzz_". With "all", CQ_FUZZ_JOBS targets
# (default 2) run at a time. Coverage is sampled every minute into build-fuzz/runs/TARGET.cov
# ("seconds cov ft corpus"); the table shows it at 10, 20 and 30 minutes and at the end.
# CQ_FUZZ_NO_BUILD=1 runs the targets already built (for several runs side by side).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${CQ_FUZZ_BUILD:-$root/build-fuzz}
jobs=${CQ_FUZZ_JOBS:-2}
max_kept_size=${CQ_FUZZ_MAX_KEPT_SIZE:-16384}

usage() {
    echo "usage: scripts/fuzz.sh TARGET|all SECONDS" >&2
    exit 2
}
[[ $# -eq 2 && $2 =~ ^[0-9]+$ ]] || usage
seconds=$2

all_targets() {
    for source in fuzz/fuzz_*.cpp; do basename "$source" .cpp; done
}
if [[ $1 == all ]]; then
    mapfile -t targets < <(all_targets)
else
    target=fuzz_${1#fuzz_}
    [[ -f fuzz/$target.cpp ]] || { echo "no fuzz target $target" >&2; exit 2; }
    targets=("$target")
fi

build_targets() {
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
        -DCMAKE_CXX_COMPILER=clang++ -DCQ_FUZZ=ON -DCQ_SANITIZE=ON -DCQ_BUILD_GUI=OFF \
        -DCQ_BUILD_TESTS=OFF -DCQ_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
    cmake --build "$build" -j "${CQ_JOBS:-2}" --target "${targets[@]}"
}

# "cov ft corpus" of the last status line libFuzzer printed to a log.
last_status() {
    grep -aoE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$1" | tail -n 1 |
        awk '{print $2, $4, $6}' || true
}

# Writes "seconds cov ft corpus" every minute while the process runs.
sample_coverage() {
    local pid=$1 log=$2 out=$3 started=$SECONDS next=60
    while kill -0 "$pid" 2>/dev/null; do
        sleep 5
        if ((SECONDS - started >= next)); then
            local status
            status=$(last_status "$log")
            [[ -n $status ]] && echo "$next $status" >>"$out"
            next=$((next + 60))
        fi
    done
}

# Adds to the kept corpus the new inputs that reach code (edges, hit counts aside) it does not,
# leaving out large ones: the kept corpus stays a few small files per target.
merge_corpus() {
    local target=$1 work=$2 kept=fuzz/corpus/$1
    mkdir -p "$kept"
    local before
    before=$(ls "$kept" | sort)
    "$build/fuzz/$target" -merge=1 -use_counters=0 -rss_limit_mb=2048 "$kept" "$work" \
        >"$build/runs/$target.merge.log" 2>&1 || true
    comm -13 <(echo "$before") <(ls "$kept" | sort) | while read -r name; do
        [[ $(stat -c %s "$kept/$name") -le $max_kept_size ]] || rm -f "$kept/$name"
    done
}

run_target() {
    local target=$1
    local work=$build/work/$target findings=$build/findings/$target/
    local log=$build/runs/$target.log cov=$build/runs/$target.cov
    mkdir -p "$work" "$findings" "$build/runs"
    : >"$cov"
    ASAN_OPTIONS=detect_leaks=1 "$build/fuzz/$target" -max_total_time="$seconds" \
        -rss_limit_mb=2048 -timeout=30 -print_final_stats=1 -artifact_prefix="$findings" \
        "$work" "fuzz/corpus/$target" >"$log" 2>&1 &
    local pid=$!
    sample_coverage "$pid" "$log" "$cov" &
    local sampler=$!
    local status=0
    wait "$pid" || status=$?
    wait "$sampler" || true
    echo "$seconds $(last_status "$log")" >>"$cov"
    merge_corpus "$target" "$work"
    echo "$status" >"$build/runs/$target.status"
}

# One table row: target, runs, coverage at 10/20/30 minutes and at the end, findings.
report_row() {
    local target=$1 log=$build/runs/$1.log cov=$build/runs/$1.cov
    local runs at10 at20 at30 final findings
    runs=$(grep -aoE 'stat::number_of_executed_units: [0-9]+' "$log" | awk '{print $2}' | tail -n 1)
    at() { awk -v t="$1" '$1 >= t - 30 && $1 <= t + 30 {print $2; exit}' "$cov"; }
    at10=$(at 600)
    at20=$(at 1200)
    at30=$(at 1800)
    final=$(tail -n 1 "$cov" | awk '{print $2 " (ft " $3 ", corpus " $4 ")"}')
    findings=$(ls "$build/findings/$target" 2>/dev/null | tr '\n' ' ')
    printf '%-22s %12s %8s %8s %8s  %-34s %s\n' "$target" "${runs:--}" "${at10:--}" \
        "${at20:--}" "${at30:--}" "${final:--}" "${findings:-none}"
}

[[ ${CQ_FUZZ_NO_BUILD:-0} == 1 ]] || build_targets
running=0
for target in "${targets[@]}"; do
    if ((running >= jobs)); then
        wait -n || true
        running=$((running - 1))
    fi
    run_target "$target" &
    running=$((running + 1))
done
wait || true

printf '%-22s %12s %8s %8s %8s  %-34s %s\n' target runs "cov@10m" "cov@20m" "cov@30m" \
    "cov at end" findings
for target in "${targets[@]}"; do report_row "$target"; done
failed=0
for target in "${targets[@]}"; do
    [[ $(cat "$build/runs/$target.status") == 0 ]] || failed=1
done
exit "$failed"
