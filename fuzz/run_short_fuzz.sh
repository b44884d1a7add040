#!/bin/sh
# Short libFuzzer runs of every fuzz target from a build without them: configures and
# builds (incrementally, on later runs) a separate clang build of the fuzz targets only,
# then runs their short fuzz tests there.
#   run_short_fuzz.sh SOURCE_DIR BUILD_DIR CLANG CLANGXX SECONDS
# Exit 77 (skipped) when clang cannot link a libFuzzer program (no libclang-rt).
set -eu
src=$1 build=$2 cc=$3 cxx=$4 seconds=$5

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
     'extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }' \
    > "$probe/probe.cpp"
if ! "$cxx" -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2>"$probe/log"; then
    echo "clang cannot link a libFuzzer program here; skipped:"
    cat "$probe/log"
    exit 77
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=$cc CXX=$cxx cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSV_BUILD_FUZZ=ON -DSV_BUILD_BENCH=OFF -DSV_FUZZ_SHORT_SECONDS="$seconds"
fi
targets=$(cmake --build "$build" --target help | sed -n 's/^\(fuzz_[a-z_]*\): phony$/\1/p' \
    | grep -v '_replay$' || true)
[ -n "$targets" ] || { echo "no fuzz targets in $build"; exit 1; }
# shellcheck disable=SC2086
cmake --build "$build" -j 2 --target $targets
exec ctest --test-dir "$build" -R '^fuzz_short\.' --output-on-failure
