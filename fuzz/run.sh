#!/usr/bin/env bash
# Runs the libFuzzer harnesses, each for SECONDS, one after another (or
# JOBS at a time), starting from the seeds in fuzz/seeds/<reader>/.
#   fuzz/run.sh SECONDS [HARNESS...]      (default: all five)
# FUZZ_BUILD (default build-fuzz): the clang build with -DSUITE_FUZZ=ON.
# TOOLS_BUILD (default build): a build with the benchmarks (-DSUITE_BENCH=ON,
# as tools/test.sh makes it), used to make the raw seed.
# New corpus entries go to $FUZZ_BUILD/corpus/<harness>/, crashing inputs
# to $FUZZ_BUILD/artifacts/, each run's log to $FUZZ_BUILD/logs/<harness>.log.
# Prints one line a harness: its status, executions, executions a second
# and the edges covered at the end. Exits 1 when any harness found a crash,
# leak, timeout or memory blow-up.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh SECONDS [HARNESS...]}
shift
harnesses=("$@")
[[ ${#harnesses[@]} -gt 0 ]] || harnesses=(exrinput pnginput jpeginput ppminput rawinput)
fuzz_build=$(realpath "${FUZZ_BUILD:-build-fuzz}")
tools_build=${TOOLS_BUILD:-build}
jobs=${JOBS:-1}
mkdir -p "$fuzz_build"/{corpus,artifacts,logs}

run_one() {
    local name=$1 log=$fuzz_build/logs/$1.log
    local corpus=$fuzz_build/corpus/$name
    local seeds=(fuzz/seeds/$name) options=()
    mkdir -p "$corpus"
    if [[ $name == rawinput ]]; then
        local grid=$fuzz_build/seeds-raw
        [[ -f $grid/grid.raw ]] || fuzz/make_seeds.sh "$tools_build" --raw "$grid"
        seeds+=("$grid")
        # a whole 768 x 512 grid of 4-byte samples and a little more; left
        # to itself libFuzzer cuts inputs at 1 MiB, two thirds of a grid
        options+=(-max_len=$((768 * 512 * 4 + 4096)))
    fi
    "$fuzz_build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
        "${options[@]}" -artifact_prefix="$fuzz_build/artifacts/$name-" "$corpus" "${seeds[@]}" \
        >"$log" 2>&1
    local status=$?
    local execs rate cov
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*')
    echo "$name: status $status, ${execs:-?} executions, ${rate:-?} a second, ${cov:-?} edges"
    return $status
}

failed=0
running=0
for name in "${harnesses[@]}"; do
    run_one "$name" &
    running=$((running + 1))
    if ((running >= jobs)); then
        wait -n || failed=1
        running=$((running - 1))
    fi
done
while ((running > 0)); do
    wait -n || failed=1
    running=$((running - 1))
done
exit $failed
