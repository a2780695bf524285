#!/usr/bin/env bash
# The main job end to end: the reference server on 127.0.0.1:8470 with the
# sample data, the demo account attached when no identity is stored, and a
# sample of codes of every type resolved with descriptions. Run through
# `make demo`, which installs and builds first. What it leaves: the identity
# in $XDG_CONFIG_HOME/lumora/user.reg and the caches in
# $XDG_DATA_HOME/lumora/; nothing in the build tree, no log-on entry.
set -euo pipefail

build_dir=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cli="$build_dir/tools/cli/lumora-cli"
refserver="$build_dir/tools/refserver/lumora-refserver"
address=127.0.0.1
port=8470

say() { printf '%s\n' "$*" >&2; }

listening() { (exec 3<>"/dev/tcp/$address/$port") 2>/dev/null; }

server_pid=
work=$(mktemp -d)
stop_server() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
        say "demo: stopped the reference server"
    fi
    rm -rf "$work"
}
trap stop_server EXIT

if listening; then
    say "demo: using the server already listening on $address:$port"
else
    "$refserver" --listen "$address:$port" --data data/refserver --port-file "$work/port" 2>"$work/server.log" &
    server_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/port" ] && break
        kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.log" >&2; exit 1; }
        sleep 0.1
    done
    [ -s "$work/port" ] || { say "demo: the reference server did not start"; exit 1; }
    say "demo: started the reference server on $address:$port"
fi

# The client's own identity is kept; only a user without one is attached
# to the demo account. The probe reads alone: an offline run with no
# caches to answer from saves nothing.
probe=$("$cli" resolve --offline --cache-dir "$work" 42 2>&1 >/dev/null || true)
case "$probe" in
*"no user identity"*)
    say "demo: no identity stored, attaching the demo account"
    "$cli" attach demo demo
    ;;
esac

codes=(
    036000291452             # UPC-A
    UPCE:04252614            # UPC-E
    4006381333931            # EAN-13
    96385074                 # EAN-8
    080442957X               # ISBN
    9780306406157            # BookLand
    NUMI:42                  # Numicode
    PRINTSHOP/SPRING         # vanity
    VANTREL:687813053406     # Vantrel
    VANTREL:237659           # Vantrel without a description server
    "http://$address:$port/item?type=URL&sid=URL&iid=welcome" # URL
)
status=0
"$cli" resolve --descriptions "${codes[@]}" || status=$?

# The first code's page, in the browser when there is a display to show it.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && command -v xdg-open >/dev/null; then
    first=$("$cli" resolve --offline --json "${codes[0]}" | sed -n 's/.*"url":"\([^"]*\)".*/\1/p')
    if [ -n "$first" ]; then
        say "demo: opening $first"
        xdg-open "$first" >/dev/null 2>&1 || true
    fi
fi
exit "$status"
