#!/usr/bin/env bash
# Start-up of the desktop client to its first idle state beside the floor,
# a bare Qt Widgets window with a 200-row tree view, both under one Xvfb.
# A throw-away home is written once (settings, identity, 200 stored codes,
# format and template caches of 10,000 entries each); then the two run in
# turn, RUNS times each, timed by /usr/bin/time (wall seconds, peak
# resident set). Prints the medians and the client's ratio to the floor.
#
#   bench/startup.sh [--runs N] [--keep DIR] [BENCH_BUILD_DIR]
#
# --keep writes the home under DIR and leaves it there with an env.sh that
# sets the variables, for timing or profiling the two programs by hand.
set -euo pipefail

runs=15
keep=
while [ $# -gt 0 ]; do
    case "$1" in
    --runs) runs=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    -*) echo "usage: $0 [--runs N] [--keep DIR] [BENCH_BUILD_DIR]" >&2; exit 2 ;;
    *) break ;;
    esac
done
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-bench}" && pwd)
client=$build/tools/cli/lumora
floor=$build/bench/startup_floor
fixture=$build/bench/startup_fixture
for program in "$client" "$floor" "$fixture"; do
    [ -x "$program" ] || { echo "startup: $program is missing (make bench builds it)" >&2; exit 1; }
done

# One X server for every run, the same for both programs.
if [ -z "${LUMORA_STARTUP_XVFB:-}" ]; then
    exec env LUMORA_STARTUP_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
        "$0" --runs "$runs" ${keep:+--keep "$keep"} "$build"
fi

if [ -n "$keep" ]; then
    mkdir -p "$keep"
    work=$(cd "$keep" && pwd)
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
export HOME=$work/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
export XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$TMPDIR"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY SESSION_MANAGER
export LUMORA_SPLASH_MS=0 LUMORA_EXIT_AT_IDLE=1

"$fixture" 200 10000
if [ -n "$keep" ]; then
    {
        for name in HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR TMPDIR \
            LUMORA_SPLASH_MS LUMORA_EXIT_AT_IDLE; do
            printf 'export %s=%q\n' "$name" "${!name}"
        done
        echo "unset WAYLAND_DISPLAY SESSION_MANAGER"
    } >"$work/env.sh"
    echo "startup: the home stays in $work (env.sh sets it; DISPLAY is yours to give)"
fi

# One run: "WALL_SECONDS PEAK_KIB" on stdout; a failed or hung run ends the bench.
measure() {
    local out=$work/time.out
    if ! timeout 60 /usr/bin/time -f '%e %M' -o "$out" "$@" >"$work/run.log" 2>&1; then
        echo "startup: $* failed:" >&2
        cat "$work/run.log" "$out" >&2
        exit 1
    fi
    tail -n 1 "$out"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$work/floor.txt"
: >"$work/client.txt"
measure "$floor" >/dev/null # the first start of each fills the file cache
measure "$client" >/dev/null
for _ in $(seq "$runs"); do
    measure "$floor" >>"$work/floor.txt"
    measure "$client" >>"$work/client.txt"
done

floor_wall=$(cut -d' ' -f1 "$work/floor.txt" | median)
floor_kib=$(cut -d' ' -f2 "$work/floor.txt" | median)
client_wall=$(cut -d' ' -f1 "$work/client.txt" | median)
client_kib=$(cut -d' ' -f2 "$work/client.txt" | median)
awk -v runs="$runs" -v fw="$floor_wall" -v fk="$floor_kib" -v cw="$client_wall" -v ck="$client_kib" 'BEGIN {
    printf "median of %d runs      wall s   peak MiB\n", runs
    printf "floor (Qt tree view)   %6.3f   %8.1f\n", fw, fk / 1024
    printf "lumora                 %6.3f   %8.1f\n", cw, ck / 1024
    printf "lumora / floor         %6.2f   %+8.1f MiB\n", (fw > 0 ? cw / fw : 0), (ck - fk) / 1024
}'
