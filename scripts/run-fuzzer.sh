#!/usr/bin/env bash
# run-fuzzer.sh FUZZER NAME SECONDS: runs a libFuzzer target on a scratch copy
# of its seed corpus (the committed seeds stay as they are) for SECONDS.
set -euo pipefail
fuzzer=$1 name=$2 seconds=${3:-20}
here=$(cd "$(dirname "$0")/.." && pwd)
seeds=$here/tests/fuzz/corpus/$name
dict=$here/tests/fuzz/$name.dict
work=$(mktemp -d "${TMPDIR:-/tmp}/fuzz-$name.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/artifacts"
[ -d "$seeds" ] && cp -r "$seeds/." "$work/corpus/"
args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
      -artifact_prefix="$work/artifacts/")
[ -f "$dict" ] && args+=(-dict="$dict")
if ! "$fuzzer" "${args[@]}" "$work/corpus"; then
    # Keep what it found where the developer can reproduce it.
    mkdir -p "$here/build-fuzz-findings/$name"
    cp -r "$work/artifacts/." "$here/build-fuzz-findings/$name/" 2>/dev/null || true
    echo "fuzzer $name found a problem; inputs kept in build-fuzz-findings/$name" >&2
    exit 1
fi
