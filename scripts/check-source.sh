#!/usr/bin/env bash
# Refuses unformatted sources and includes that point up the layers:
# client/gui -> client -> vtkit -> tst, with Qt only in the GUI layer.
# Prints one line per offending file and exits 1 when there is any.
set -uo pipefail
cd "$(dirname "$0")/.."

status=0
complain() {
    echo "check-source: $1" >&2
    status=1
}

mapfile -t sources < <(git ls-files '*.cpp' '*.h' '*.c')

for file in "${sources[@]}"; do
    if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
        complain "$file is not formatted (run: clang-format -i $file)"
    fi
done

# The project folders a file may include from, by the folder it lives in.
allowed_for() {
    case "$1" in
    tst/*) echo "tst" ;;
    vtkit/*) echo "tst vtkit" ;;
    platform/*) echo "tst platform" ;;
    hook/*) echo "hook" ;;
    lang/*) echo "lang" ;;
    client/gui/* | client/main.cpp) echo "tst vtkit platform lang client" ;;
    client/*) echo "tst vtkit platform lang client" ;;
    tools/*) echo "tst vtkit platform lang client tools" ;;
    *) echo "*" ;;
    esac
}

# Files outside the GUI layer that may include Qt.
qt_allowed() {
    case "$1" in
    client/gui/* | client/main.cpp | tests/gui/* | tests/app/* | bench/startup_floor.cpp) return 0 ;;
    *) return 1 ;;
    esac
}

for file in "${sources[@]}"; do
    allowed=$(allowed_for "$file")
    while IFS= read -r include; do
        top=${include%%/*}
        if [ "$allowed" != "*" ] && [[ " $allowed " != *" $top "* ]]; then
            complain "$file includes \"$include\", above its layer"
        fi
        if [[ "$include" == client/gui/* ]] && [[ "$file" != client/gui/* ]] && [[ "$file" != client/main.cpp ]] &&
            [[ "$file" != tests/* ]]; then
            complain "$file includes \"$include\" from the GUI layer"
        fi
    done < <(sed -n -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([a-z]+\/[^"]+)".*/\1/p' "$file")
    if ! qt_allowed "$file" && grep -q -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q[A-Za-z]' "$file"; then
        complain "$file includes Qt below the GUI layer"
    fi
done

exit $status
