#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, fuzz and
# benchmark. Quick when everything is present: apt runs only for what is missing.
set -euo pipefail

packages=(
    # build
    build-essential cmake ninja-build pkg-config git ccache
    # the source check: formatting
    clang-format
    # fuzzing (libFuzzer comes with clang's runtime)
    clang libclang-rt-14-dev
    # tests and benchmarks
    googletest libgtest-dev libgmock-dev libbenchmark-dev python3
    # the HTTP proxy the proxy tests run through, and the HTTP benchmark's anchor
    tinyproxy libcurl4-openssl-dev
    # a real wave player for the sound tests (ALSA's null device needs no card)
    alsa-utils
    # independent check-digit oracle for the code tests and benchmarks
    python3-stdnum valgrind
    # XML: reference parser of the differential test, anchors of the benchmark
    libxml2-dev libexpat1-dev libpugixml-dev
    # the keyboard hook library (Xlib, XInput2, XTest), and the X server and
    # key typist of its tests
    libx11-dev libxi-dev libxtst-dev xvfb xdotool
    # the desktop client: Qt 6 Widgets and PrintSupport, the SVG icon and image
    # plugins for the shipped icons, Qt's own translations for the standard buttons
    qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-translations-l10n
    # its end-to-end tests and screenshots: the X server's cookie, window
    # look-ups, screen grabs and the printed list's text
    xauth x11-utils imagemagick poppler-utils
    # the installer's tests check its menu entries with desktop-file-validate
    desktop-file-utils
    # the Debian packages: computed dependencies (dpkg-shlibdeps, file), their
    # check (lintian, the metainfo validator, the manual pages' formatter)
    dpkg-dev file lintian appstream man-db
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
