#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking and the demo need, then the
# page's lint and format tools from panel/page's lock file (npm ci).
# Idempotent: packages already present are skipped by apt-get, and npm ci runs only when the lock
# file differs from what was installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git ccache clang-14 libclang-rt-14-dev libfuzzer-14-dev
  clang-format
  # imaging core
  libpng-dev libturbojpeg0-dev libdeflate-dev liblcms2-dev libisal-dev
  # the digest that marks which picture a spool file belongs to
  libxxhash-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libvips-dev mate-backgrounds
  # desktop parts: GTK, WebKitGTK, D-Bus, Secret Service, AT-SPI, HTTP, JSON
  libglib2.0-dev libgtk-3-dev libwebkit2gtk-4.1-dev libsecret-1-dev
  at-spi2-core libcurl4-openssl-dev nlohmann-json3-dev
  # the editing-session test clicks menus and the page's buttons as assistive technology does
  libatspi2.0-dev
  # headless runs: virtual display, private session bus, keyring, screenshots, TLS test server
  xvfb xauth dbus dbus-x11 gnome-keyring imagemagick x11-apps openssl python3
  # a window manager for the tests of how the panel's window is placed and kept above its editor
  openbox
  # the reference service and its sandbox: HTTP server, effects, namespaces, notification
  # server, keyring look-ups, the recording browser
  libsoup-3.0-dev libopencv-photo-dev libopencv-imgproc-dev util-linux iproute2
  python3-gi gir1.2-glib-2.0 libsecret-tools curl ca-certificates
  # the GIMP host bridge: the editor, its plug-in library, and the bridge that puts GTK 2
  # programs on the accessibility bus
  gimp gimp-data libgimp2.0-dev libatk-adaptor
  # the panel's page: its bundler, and Node for its assembly, unit tests and tools
  esbuild nodejs
  # the Debian roots the other releases are built and tested in (scripts/debian-root.sh), made
  # and entered without root through subordinate user ids
  mmdebstrap uidmap
  # the checks of the Debian package
  lintian
)
# npm comes with some builds of nodejs (and conflicts with Debian's npm there); Debian's own
# nodejs needs the npm package.
command -v npm >/dev/null || packages+=(npm)

# --list prints the list, one package a line: the Debian roots start from it.
if [ "${1:-}" = --list ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# The page's lint and format tools, exactly as the lock file pins them, installed as the user who
# runs this (they live in the source tree). Nothing else is fetched once they are in.
page_tools() {
  local page=$root/panel/page
  if cmp -s "$page/package-lock.json" "$page/node_modules/.installed-lock.json"; then
    return 0
  fi
  (cd "$page" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$page/package-lock.json" "$page/node_modules/.installed-lock.json"
}

if [ ${#missing[@]} -eq 0 ]; then
  page_tools
  exit 0
fi

# Root is needed only here, to install what is missing: through sudo for a normal user.
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: installing ${#missing[@]} missing Debian packages needs root: asking sudo" \
       "(${missing[*]})" >&2
  if ! command -v sudo >/dev/null; then
    echo "install-deps: sudo is not installed. Run this script once as root (su -c" \
         "scripts/install-deps.sh), or install sudo and give $(id -un) the right to use it." >&2
    exit 1
  fi
  if ! sudo -v; then
    echo "install-deps: sudo refused. Run this script once as root, or ask for the right to" \
         "use sudo; nothing after it needs root." >&2
    exit 1
  fi
  as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
fi
export DEBIAN_FRONTEND=noninteractive
${as_root[@]+"${as_root[@]}"} apt-get update -qq
${as_root[@]+"${as_root[@]}"} apt-get install -y -qq --no-install-recommends "${missing[@]}"
page_tools
