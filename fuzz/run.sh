#!/usr/bin/env bash
# Runs the libFuzzer harnesses, each for SECONDS, one after another (or
# JOBS at a time), starting from the seeds in fuzz/seeds/<reader>/.
#   fuzz/run.sh SECONDS [HARNESS...]      (default: all five)
# FUZZ_BUILD (default build-fuzz): the clang build with -DSUITE_FUZZ=ON.
# TOOLS_BUILD (default build): a build with the benchmarks (-DSUITE_BENCH=ON,
# as tools/test.sh makes it), used to make the raw seed.
# New corpus entries go to $FUZZ_BUILD/corpus/<harness>/, crashing inputs
# to $FUZZ_BUILD/artifacts/, each run's log to $FUZZ_BUILD/logs/<harness>.log.
# Exits 1 when any harness found a crash, leak, timeout or memory blow-up.
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
    local name=$1 seeds=fuzz/seeds/$1
    local corpus=$fuzz_build/corpus/$name
    mkdir -p "$corpus"
    if [[ $name == rawinput ]]; then
        seeds=$fuzz_build/seeds-raw
        [[ -f $seeds/grid.raw ]] || fuzz/make_seeds.sh "$tools_build" --raw "$seeds"
    fi
    "$fuzz_build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
        -artifact_prefix="$fuzz_build/artifacts/$name-" "$corpus" "$seeds" \
        >"$fuzz_build/logs/$name.log" 2>&1
    local status=$?
    local execs
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$fuzz_build/logs/$name.log" | grep -o '[0-9]*$')
    echo "$name: status $status, ${execs:-?} executions"
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
