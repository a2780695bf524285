#!/usr/bin/env bash
# The main job end to end: the reference server on 127.0.0.1:8470 with the
# sample data, the demo account attached when no identity is stored, then,
# where there is a display, the desktop client with a sample code of every
# type in its list (the server stops when its window closes); without a
# display, the same codes resolved with descriptions and printed as a
# table. Run through `make demo`, which installs and builds first. What it
# leaves: the identity and the client's settings in
# $XDG_CONFIG_HOME/lumora/user.reg, the caches and the stored codes in
# $XDG_DATA_HOME/lumora/; nothing in the build tree, no log-on entry.
set -euo pipefail

build_dir=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cli="$build_dir/tools/cli/lumora-cli"
client="$build_dir/tools/cli/lumora"
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

# The demo opens the main window directly: a user who has never run the
# client gets the settings its first-run wizard would leave (every other
# value its default, no start at log-on). A plain first start of
# `lumora` runs that wizard instead.
hive="${XDG_CONFIG_HOME:-$HOME/.config}/lumora/user.reg"
config_key='[HKEY_CURRENT_USER\Software\Tessaly Technologies\Lumora\Config]'
if [ -f "$hive" ] && ! grep -qiF "$config_key" "$hive"; then
    printf '%s\r\n"Installing"=dword:00000000\r\n"Auto Run"=dword:00000000\r\n\r\n' "$config_key" >>"$hive"
    say "demo: first-run settings stored, the wizard is skipped"
fi

codes=(
    036000291452             # UPC-A
    04252614                 # UPC-E
    4006381333931            # EAN-13
    96385074                 # EAN-8
    080442957X               # ISBN
    9780306406157            # BookLand
    42                       # Numicode
    PRINTSHOP/SPRING         # vanity
    687813053406             # Vantrel
    237659                   # Vantrel without a description server
    "http://$address:$port/item?type=URL&sid=URL&iid=welcome" # URL
)

# With a display: the desktop client. A user without a stored list gets one
# holding the sample codes as resolved above (one of each type); then the
# first code is handed to the client as another program hands it, which
# processes it and opens its page.
user_list() {
    local uid
    uid=$(sed -n 's/^"UID"="\([0-9]*\)".*/\1/p' "${XDG_CONFIG_HOME:-$HOME/.config}/lumora/user.reg" 2>/dev/null |
        head -1) || true
    if [ -n "$uid" ]; then
        printf '%s/lumora/%sCodes.dat' "${XDG_DATA_HOME:-$HOME/.local/share}" "$uid"
    fi
}

write_sample_list() {
    "$cli" resolve --descriptions --json "${codes[@]}" 2>/dev/null | python3 -c '
import calendar, json, sys, time
# Entered now, as a local file time: 100 ns units since 1601.
now = str((calendar.timegm(time.localtime()) + 11644473600) * 10**7)
types = {"VANTREL": 1, "UPCA": 2, "UPCE": 3, "EAN13": 4, "EAN8": 5, "ISBN": 6,
         "VANITY": 7, "BOOKLAND": 8, "NUMI": 9, "URL": 10}
rows = [json.loads(line) for line in sys.stdin if line.strip()]
out = open(sys.argv[1], "w", newline="")
out.write("Version Format: 2.0\n")
for number, row in enumerate(reversed(rows), 1):
    clean = lambda text: text.replace("\t", " ").replace("\n", " ")
    fields = [str(number), row["code"], str(types.get(row["type"], 0)), row["sid"], row["iid"], "2",
              "", clean(row["description"]), "", "", now]
    out.write("".join(field + "\t" for field in fields) + "\n")
' "$1"
}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$client" ]; then
    list=$(user_list)
    if [ -n "$list" ] && [ ! -e "$list" ]; then
        mkdir -p "$(dirname "$list")"
        write_sample_list "$list" && say "demo: stored the sample codes in $list"
    fi
    "$client" &
    client_pid=$!
    say "demo: started the desktop client; close its window to end the demo"
    for _ in $(seq 100); do
        "$cli" send "${codes[0]}" >/dev/null 2>&1 && break
        kill -0 "$client_pid" 2>/dev/null || break
        sleep 0.2
    done
    wait "$client_pid" || true
    exit 0
fi

status=0
"$cli" resolve --descriptions "${codes[@]}" || status=$?
exit "$status"
