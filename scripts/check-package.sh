#!/usr/bin/env bash
# Checks the Debian packages that `make package` left in FOLDER (default
# build/packages): their files and links, the computed dependencies, the menu
# entry, the metainfo and the manual pages, and that the packaged program
# runs and leaves installing and removing to the package manager.
# --lint also runs lintian and fails on any error it reports.
# Exits 77 when no package was built, so the test suite counts it skipped.
set -uo pipefail

folder=build/packages
lint=0
for argument in "$@"; do
    case "$argument" in
    --lint) lint=1 ;;
    *) folder=$argument ;;
    esac
done

shopt -s nullglob
client=("$folder"/lumora_*.deb)
server=("$folder"/lumora-refserver_*.deb)
if [ ${#client[@]} -eq 0 ] && [ ${#server[@]} -eq 0 ]; then
    echo "check-package: no package in $folder (run make package)" >&2
    exit 77
fi

status=0
complain() {
    echo "check-package: $1" >&2
    status=1
}
if [ ${#client[@]} -ne 1 ] || [ ${#server[@]} -ne 1 ]; then
    echo "check-package: expected one lumora and one lumora-refserver package in $folder" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"

# Every path a package must hold: "path" a file or folder, "path -> target" a link.
expect_contents() {
    local package=$1
    shift
    local listing
    listing=$(dpkg-deb -c "$package" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }')
    for entry in "$@"; do
        grep -qxF "./$entry" <<<"$listing" || complain "$(basename "$package") lacks $entry"
    done
}

expect_contents "${client[0]}" \
    "usr/bin/lumora -> ../lib/lumora/lumora" "usr/bin/lumora-cli -> ../lib/lumora/lumora-cli" \
    usr/lib/lumora/lumora usr/lib/lumora/lumora-cli usr/lib/lumora/lumorapor.so usr/lib/lumora/lumoraspa.so \
    usr/lib/lumora/vtkbdhook.so usr/lib/lumora/Server.dat usr/lib/lumora/wvmenusrc.htm \
    usr/lib/lumora/wvframesrc.htm usr/lib/lumora/lumora.inst usr/share/applications/lumora.desktop \
    usr/share/icons/hicolor/scalable/apps/lumora.svg usr/share/metainfo/com.tessaly.lumora.metainfo.xml \
    usr/share/man/man1/lumora.1.gz usr/share/doc/lumora/copyright usr/share/doc/lumora/changelog.gz
expect_contents "${server[0]}" \
    usr/bin/lumora-refserver usr/share/lumora/refserver/formats.xml usr/share/lumora/refserver/items.xml \
    usr/share/man/man1/lumora-refserver.1.gz usr/share/doc/lumora-refserver/copyright

if [ -f "$(dirname "$0")/../docs/lumora-cli.1" ]; then
    expect_contents "${client[0]}" usr/share/man/man1/lumora-cli.1.gz
fi

# Dependencies come from the linked libraries, not from a hand-made list.
depends=$(dpkg-deb -f "${client[0]}" Depends)
for library in libc6 libqt6widgets6 libqt6printsupport6 libx11-6 libxi6 libxtst6; do
    grep -qE "(^|, )$library( |,|$)" <<<"$depends" || complain "lumora does not depend on $library: $depends"
done
server_depends=$(dpkg-deb -f "${server[0]}" Depends)
grep -q libqt6 <<<"$server_depends" && complain "lumora-refserver depends on Qt: $server_depends"

dpkg-deb -x "${client[0]}" "$work/root"
dpkg-deb -x "${server[0]}" "$work/root"
root=$work/root

desktop-file-validate "$root/usr/share/applications/lumora.desktop" || complain "the menu entry is not valid"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.tessaly.lumora.metainfo.xml" >"$work/metainfo.log" 2>&1 ||
    complain "the metainfo is not valid: $(cat "$work/metainfo.log")"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || complain "$(basename "$page"): $warnings"
done
grep -qx "manager=apt" "$root/usr/lib/lumora/lumora.inst" || complain "the packaged lumora.inst names no package manager"

version=$("$root/usr/bin/lumora" --version 2>&1)
[ "$version" = "lumora $(dpkg-deb -f "${client[0]}" Version)" ] || complain "lumora --version printed: $version"
"$root/usr/bin/lumora-refserver" --version >/dev/null 2>&1 || complain "lumora-refserver --version failed"
# The packaged copy leaves its files to the package manager.
for mode in -install -remove; do
    message=$("$root/usr/bin/lumora" $mode -quiet 2>&1)
    code=$?
    if [ $code -eq 0 ] || ! grep -q "apt" <<<"$message"; then
        complain "lumora $mode -quiet on the packaged copy exited $code: $message"
    fi
done
left=$(find "$HOME" -type f)
[ -z "$left" ] || complain "the refused -install and -remove left files in the home: $left"

if [ $lint -eq 1 ]; then
    lintian --pedantic "${client[0]}" "${server[0]}" >"$work/lintian.log" 2>&1
    cat "$work/lintian.log"
    grep -q "^E: " "$work/lintian.log" && complain "lintian reports errors"
fi

[ $status -eq 0 ] && echo "check-package: $(basename "${client[0]}") and $(basename "${server[0]}") are as expected"
exit $status
