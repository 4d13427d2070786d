#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs them:
#
#   fuzz/run.sh TARGET|all [SECONDS] [extra libFuzzer flags...]
#
# Targets: readers rebuild language settings recording_name. Each runs for
# SECONDS (default 60) on one core, one after the other, starting from the
# seeds (written fresh by recwriter) and the corpus kept from earlier runs in
# $CORVANE_FUZZ_BUILD_DIR/corpus/TARGET. Inputs that crash, hang, leak or
# allocate without bound land in $CORVANE_FUZZ_BUILD_DIR/findings/TARGET/;
# replay one with the target's program and the file as its argument. Exits
# non-zero when any target found something.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${CORVANE_FUZZ_BUILD_DIR:-$here/../build-fuzz}
targets=(readers rebuild language settings recording_name)

what=${1:-all}
seconds=${2:-60}
shift $(( $# < 2 ? $# : 2 ))
if [[ $what != all ]]; then
  [[ " ${targets[*]} " == *" $what "* ]] || { echo "unknown target: $what (${targets[*]})" >&2; exit 2; }
  targets=("$what")
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
cmake --build "$build" -j2

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TZ=UTC
status=0
for t in "${targets[@]}"; do
  seeds=$build/seeds/$t corpus=$build/corpus/$t findings=$build/findings/$t
  rm -rf "$seeds"
  mkdir -p "$corpus" "$findings"
  "$build/write_seeds" "$t" "$seeds"
  echo "== $t: ${seconds}s"
  # A recording holds few records here, so a second per input is already a
  # hang; a reader must never ask for more than a few unit buffers at once.
  if ! "$build/${t}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256 \
        -dict="$here/dict/$t.dict" -artifact_prefix="$findings/" -print_final_stats=1 \
        -print_pcs=0 "$@" "$corpus" "$seeds"; then
    echo "== $t: FINDING, see $findings" >&2
    status=1
  fi
done
exit $status
