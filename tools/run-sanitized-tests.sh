#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test under them, then builds the libFuzzer targets with clang,
# replays their regression inputs and seed corpora, and fuzzes each for a
# bounded time. Installs what is missing (clang, its runtime) on Debian 12.
#
#   TAVEL_ASAN_BUILD_DIR   build of the test suite   (build-asan)
#   TAVEL_FUZZ_BUILD_DIR   build of the fuzz targets  (build-fuzz)
#   TAVEL_FUZZ_SECONDS     fuzzing time per target    (60; 0 only replays)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

asan_build=${TAVEL_ASAN_BUILD_DIR:-build-asan}
fuzz_build=${TAVEL_FUZZ_BUILD_DIR:-build-fuzz}
fuzz_seconds=${TAVEL_FUZZ_SECONDS:-60}
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$root/tests/fuzz/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== sanitized build ($asan_build)"
TAVEL_BUILD_DIR=$asan_build TAVEL_CMAKE_ARGS="-DTAVEL_SANITIZE=ON ${TAVEL_CMAKE_ARGS:-}" \
  bash tools/setup.sh clang libclang-rt-14-dev
echo "== tests under ASan and UBSan"
ctest --test-dir "$asan_build" --output-on-failure -j"$jobs" --timeout 600

echo "== fuzz targets ($fuzz_build)"
cmake -S . -B "$fuzz_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTAVEL_BUILD_FUZZERS=ON -DTAVEL_SANITIZE=ON -DTAVEL_BUILD_TESTS=OFF
cmake --build "$fuzz_build" -j"$jobs" --target fuzz_receive_path fuzz_image_load

# Image seeds at the size limit and one past it are made here rather than kept.
image_seeds=$fuzz_build/seeds/image_load
mkdir -p "$image_seeds"
head -c 65535 /dev/zero | tr '\0' '\125' >"$image_seeds/full"
head -c 65536 /dev/zero | tr '\0' '\252' >"$image_seeds/one_too_many"

# run_target <target> "<fuzzer options>" <seed directory>...
run_target() {
  local target=$1 options=$2
  shift 2
  local fuzzer=$fuzz_build/fuzz/$target
  local corpus=$fuzz_build/corpus/$target
  local artifacts=$fuzz_build/artifacts/$target/
  local regressions=tests/fuzz/regressions/$target
  mkdir -p "$corpus" "$artifacts"
  local replay=("$@")
  [ -d "$regressions" ] && replay=("$regressions" "${replay[@]}")
  echo "== $target: regression inputs and seeds"
  # shellcheck disable=SC2086
  "$fuzzer" $options -runs=0 -artifact_prefix="$artifacts" "${replay[@]}"
  if [ "$fuzz_seconds" -gt 0 ]; then
    echo "== $target: fuzzing for ${fuzz_seconds}s"
    # shellcheck disable=SC2086
    "$fuzzer" $options -max_total_time="$fuzz_seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$artifacts" "$corpus" "$@"
  fi
}

run_target fuzz_receive_path "-dict=tests/fuzz/receive.dict" tests/fuzz/corpus_receive
run_target fuzz_image_load "-max_len=70000" tests/fuzz/corpus_image "$image_seeds"
echo "== sanitizers and fuzzers: clean"
