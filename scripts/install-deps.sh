#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking and the demo need.
# Idempotent: packages already present are skipped by apt-get.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git ccache clang-14 libclang-rt-14-dev libfuzzer-14-dev
  clang-format
  # imaging core
  libpng-dev libturbojpeg0-dev libdeflate-dev liblcms2-dev libisal-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libvips-dev mate-backgrounds
  # desktop parts: GTK, WebKitGTK, D-Bus, Secret Service, AT-SPI, HTTP, JSON
  libglib2.0-dev libgtk-3-dev libwebkit2gtk-4.1-dev libsecret-1-dev
  at-spi2-core libcurl4-openssl-dev nlohmann-json3-dev
  # headless runs: virtual display, private session bus, keyring, screenshots, TLS test server
  xvfb xauth dbus dbus-x11 gnome-keyring imagemagick x11-apps openssl python3
  # the reference service and its sandbox: HTTP server, effects, namespaces, notification
  # server, keyring look-ups, the recording browser
  libsoup-3.0-dev libopencv-photo-dev libopencv-imgproc-dev util-linux iproute2
  python3-gi gir1.2-glib-2.0 libsecret-tools curl ca-certificates
  # the GIMP host bridge: the editor, its plug-in library, and the bridge that puts GTK 2
  # programs on the accessibility bus
  gimp gimp-data libgimp2.0-dev libatk-adaptor
  # the Debian roots the other releases are built and tested in (scripts/debian-root.sh), made
  # and entered without root through subordinate user ids
  mmdebstrap uidmap
)

# --list prints the list, one package a line: the Debian roots start from it.
if [ "${1:-}" = --list ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
