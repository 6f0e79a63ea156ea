#!/usr/bin/env bash
# Builds and runs the whole test suite twice (a normal build and one with
# AddressSanitizer and UndefinedBehaviorSanitizer), then builds a small
# consumer against the installed package.  Fails when any step fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/packages.sh
ensure_packages test
jobs=$(nproc 2>/dev/null || echo 2)
build=${ORVIKA_BUILD_DIR:-build}
asan=${ORVIKA_ASAN_BUILD_DIR:-build-asan}

echo "== release build and tests"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVIKA_TESTS=ON -DORVIKA_BENCH=ON -DORVIKA_EXAMPLES=ON >/dev/null
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs" | tee "$build/ctest.log"

echo "== sanitizer build and tests"
cmake -S . -B "$asan" -DCMAKE_BUILD_TYPE=Debug -DORVIKA_SANITIZE=ON -DORVIKA_BENCH=OFF \
  -DORVIKA_EXAMPLES=OFF >/dev/null
cmake --build "$asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$asan" --output-on-failure -j "$jobs" | tee "$asan/ctest.log"

echo "== installed package: CMake config and pkg-config consumers"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
cmake -S tests/consumer -B "$prefix/consumer-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/consumer-build" >/dev/null
LD_LIBRARY_PATH="$prefix/lib:$prefix/lib64:${LD_LIBRARY_PATH:-}" "$prefix/consumer-build/consumer"
libdir=$(ls -d "$prefix"/lib*/pkgconfig | head -n 1)
cc tests/consumer/main.c -o "$prefix/consumer-pc" \
  $(PKG_CONFIG_PATH="$libdir" pkg-config --cflags --libs orvika) -lorvika_host
LD_LIBRARY_PATH="$prefix/lib:$prefix/lib64:${LD_LIBRARY_PATH:-}" "$prefix/consumer-pc"
count() { sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$1" | tail -n 1; }
total=$(( $(count "$build/ctest.log") + $(count "$asan/ctest.log") ))
echo "tests: $total passed, 0 failed"
