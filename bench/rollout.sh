#!/usr/bin/env bash
# Rollout benchmark: a site of CAMERAS simulated cameras (default 256) with
# at most 32 upgraded at once and an 8 MiB package, through bench/batch.sh.
# The same batch with 64 cameras comes first: the CLI's peak memory must not
# grow with the number of cameras.
#
#   bench/rollout.sh [CAMERAS=256] [SMALL=64] [BUILD=build]
#
# Each run prints batch.sh's figures (its floors count ceil(cameras / 32)
# sliding slots); the end compares the two peaks.
set -euo pipefail
cd "$(dirname "$0")/.."
cameras=${1:-256}
small=${2:-64}
build=${3:-build}
export PARALLEL=${PARALLEL:-32} LOG_LEVEL=${LOG_LEVEL:-1}
mib=${MIB:-8}

declare -A rss
for n in "$small" "$cameras"; do
    echo "== $n cameras, at most $PARALLEL at once, $mib MiB package"
    out=$(bench/batch.sh "$n" "$mib" "$build")
    echo "$out"
    rss[$n]=$(awk '/^CLI peak RSS/ {print $4}' <<< "$out")
done
echo "== CLI peak RSS: ${rss[$small]} MiB with $small cameras, ${rss[$cameras]} MiB with $cameras" \
    "(target <= $((mib + 64)) MiB for both: package + 64 MiB)"
