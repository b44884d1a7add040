#!/bin/bash
# Runs the renderer benchmarks beside Mesa's llvmpipe in one sitting (the machine is shared, so
# both sides must see the same load). Usage:
#   bench/retained/compare_llvmpipe.sh [BUILD_DIR] [ROUNDS]
# BUILD_DIR defaults to build/default; the llvmpipe anchor is copied to $LLVMPIPE_DIR
# (default /tmp/llvmpipe-anchor) and built there if needed (needs libosmesa6-dev).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/default}
rounds=${2:-1}
lp=${LLVMPIPE_DIR:-/tmp/llvmpipe-anchor}
if [ ! -x "$lp/lpbench" ]; then
    mkdir -p "$lp" && cp -r "$root/../shared/anchors/llvmpipe/." "$lp/" && "$lp/build.sh"
fi
tuned='glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=1073741824'
for r in $(seq "$rounds"); do
    echo "round $r $(date -u +%H:%M:%S) load $(cut -d' ' -f1-3 /proc/loadavg)"
    for args in "-s sphere -n 1000000" "-s sphere -n 100000 -t" "-s sphere -n 100000 -T" \
                "-s clear"; do
        # shellcheck disable=SC2086
        line=$(GLIBC_TUNABLES=$tuned LP_NUM_THREADS=2 "$lp/lpbench" -w 1920 -h 1080 -F 30 $args)
        echo "llvmpipe $args: $(grep -o 'median_ms=[0-9.]*' <<<"$line")" \
             "$(grep -o 'min_ms=[0-9.]*' <<<"$line")"
    done
    "$build/bin/bench_retained_render" --benchmark_min_time=0.5 --benchmark_repetitions=5 \
        --benchmark_report_aggregates_only=true 2>&1 | grep -E "_median"
    echo "end load $(cut -d' ' -f1-3 /proc/loadavg)"
done
