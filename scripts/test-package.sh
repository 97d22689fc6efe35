#!/usr/bin/env bash
# The Debian package of one release as a user meets it: built from the project's build for that
# release and checked with lintian; installed with apt into a clean root of the release, a
# minimal Debian that holds only what the road's own checks need, so every dependency of the
# package comes through apt; the GIMP road run there from the installed files alone; then
# removed with apt purge, after which no file of it may be left.
#
# usage: scripts/test-package.sh [--release bookworm|trixie] [--out DIR]
#
# The package and the road's tools (lumivo-press-menu, the reference service) come from build/
# when this machine runs the release, else from the release's build in the project's root of it
# (build-debian13/ for trixie, which scripts/test-debian13.sh makes). The clean root is a named
# root of scripts/debian-root.sh ("package"), cached between runs: made again only when its
# lists change, with the package's dependencies downloaded into its apt cache, not installed.
# --out (out/package/RELEASE) keeps the package, lintian's findings and the road's output.
#
# Exits with status 77, saying why, where a root can't be made or entered.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage() {
  echo "usage: $0 [--release bookworm|trixie] [--out DIR]" >&2
  exit 2
}

# What the road needs in the clean root beside the package and its tools' libraries: the
# virtual display, the session bus, the keyring's look-ups; the sandbox's network, host names,
# certificates, notification server and browser; the photo and the comparison of pixels.
# (netbase, which writes /etc/hosts, is on every installed Debian but minbase.) The keyring
# itself, GIMP and the accessibility bus come with the package.
road_packages="xvfb dbus libsecret-tools libglib2.0-bin iproute2 netbase openssl
  ca-certificates python3 python3-gi gir1.2-glib-2.0 curl imagemagick"

# The clean root's stage goes on with the clock of the whole test.
started=${LUMIVO_PACKAGE_TEST_STARTED:-$(date +%s)}
say() { echo "test-package: [$(($(date +%s) - started)) s] $*"; }

# Stage 2, as root of the clean root: install, the road, purge, and what is left.
if [ "${1:-}" = --in-clean-root ]; then
  deb=$2 build=$3 out=$4 gimp=$5
  # A user's system installs every file of a package: the root's exclusions of documents
  # apply to the packages it was made with only.
  rm -f /etc/dpkg/dpkg.cfg.d/99mmdebstrap
  export DEBIAN_FRONTEND=noninteractive
  # Every path of the root's own file system (the project's folder and the others are mounts).
  listing() { find / -xdev -print 2>/dev/null | sort; }
  listing >"$out/before-install.txt"

  say "installing $(basename "$deb") with apt into a clean $(. /etc/os-release && echo "$PRETTY_NAME")"
  apt-get install --yes --no-install-recommends "$deb" >"$out/apt-install.log" 2>&1 ||
    { tail -30 "$out/apt-install.log"; exit 1; }
  say "installed with $(grep -c '^Setting up' "$out/apt-install.log") packages," \
      "$(grep -c '^Get:[0-9]* http' "$out/apt-install.log" || true) of them from the network"
  dpkg -L lumivo | sort >"$out/installed-files.txt"
  while IFS= read -r path; do
    [ -e "$path" ] || { echo "test-package: $path was not installed" >&2; exit 1; }
  done <"$out/installed-files.txt"
  plugin_dir=$(grep -m1 '/plug-ins/lumivo$' "$out/installed-files.txt")
  [ -n "$plugin_dir" ] || { echo "test-package: no GIMP plug-in folder in the package" >&2; exit 1; }

  bash "$root/gimp/round-trip.sh" --gimp "$gimp" --installed "$plugin_dir" --no-build \
    --build "$build" --out "$out/road" | sed 's/^/  /'
  say "the GIMP road passed from the installed files ($plugin_dir)"

  apt-get purge --yes lumivo >"$out/apt-purge.log" 2>&1 || { cat "$out/apt-purge.log"; exit 1; }
  listing >"$out/after-purge.txt"
  left=()
  # Every file of the package is gone; of its folders, only those other packages hold remain.
  while IFS= read -r path; do
    if [ -e "$path" ] || [ -L "$path" ]; then
      if [ -d "$path" ] && [ ! -L "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then continue; fi
      left+=("$path")
    fi
  done <"$out/installed-files.txt"
  # Nor did anything of it come to be anywhere else: every path that is new since before the
  # installation belongs to a package that stays.
  while IFS= read -r path; do
    case $path in
      /var/lib/dpkg/* | /var/lib/apt/* | /var/cache/* | /var/log/* | /etc/ld.so.cache) continue ;;
    esac
    # The dependencies stay and bring thousands of paths: only ours are asked about.
    case ${path,,} in *lumivo*) ;; *) continue ;; esac
    dpkg -S "$path" >/dev/null 2>&1 || left+=("$path")
  done < <(comm -13 "$out/before-install.txt" "$out/after-purge.txt")
  if dpkg-query -W -f='${Status}\n' lumivo 2>/dev/null | grep -qv "not-installed"; then
    left+=("lumivo: $(dpkg-query -W -f='${Status}' lumivo)")
  fi
  if [ ${#left[@]} -gt 0 ]; then
    printf 'test-package: left after apt purge: %s\n' "${left[@]}" >&2
    exit 1
  fi
  say "apt purge removed it: none of its $(wc -l <"$out/installed-files.txt") paths is left"
  exit 0
fi

release=bookworm
out=
while [ $# -gt 0 ]; do
  case $1 in
    --release) release=${2:-}; shift 2 ;;
    --out) out=$(realpath -m "${2:-}"); shift 2 ;;
    *) usage ;;
  esac
done
case $release in
  bookworm) version=12 gimp=2.10 ;;
  trixie) version=13 gimp=3 ;;
  *) usage ;;
esac
out=${out:-$root/out/package/$release}
here=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
rm -rf "$out"
mkdir -p "$out"

# The package, and the names of what the road's tools link (dpkg-shlibdeps reads a package's
# folder, so it is given an empty one), made where the release's build lives.
build_steps='
  set -euo pipefail
  build=$1 out=$2 root=$3
  deb=$(bash "$root/scripts/make-package.sh" --build "$build" --out "$out")
  ninja -C "$build" -j"$(nproc)" lumivo-press-menu lumivo-service >&2
  work=$(mktemp -d) && mkdir "$work/debian" && touch "$work/debian/control"
  (cd "$work" && dpkg-shlibdeps -O "$build/tests/e2e/lumivo-press-menu" \
     "$build/service/lumivo-service" 2>/dev/null) >"$out/road-tools.depends"
  rm -rf "$work"
  echo "$deb"'
if [ "$here" = "$release" ]; then
  build=$root/build
  deb=$(bash -c "$build_steps" build "$build" "$out" "$root")
else
  build=$root/build-debian$version
  status=0
  deb=$(bash "$root/scripts/debian-root.sh" --release "$release" --bind "$out" -- \
        bash -c "$build_steps" build "$build" "$out" "$root") || status=$?
  [ "$status" = 0 ] || exit "$status"
fi
deb=$(tail -1 <<<"$deb")
say "built $(basename "$deb"): $(du -k "$deb" | cut -f1) kB," \
    "$(dpkg-deb -f "$deb" Installed-Size) kB installed"

# lintian from this machine's Debian; errors fail the test, everything is kept for the reader.
if command -v lintian >/dev/null; then
  lintian --display-info --pedantic --show-overrides --fail-on error "$deb" \
    >"$out/lintian.txt" 2>&1 || { cat "$out/lintian.txt"; exit 1; }
  say "lintian: $(grep -c '^[EW]:' "$out/lintian.txt" || true) errors and warnings," \
      "$(grep -c '^[IPXO]:' "$out/lintian.txt" || true) notes ($out/lintian.txt)"
else
  say "lintian is not installed: not checked (scripts/install-deps.sh installs it)"
fi

# The names of what the package and the tools need, without versions or alternatives.
names() { tr ',' '\n' | sed -e 's/|.*//' -e 's/(.*)//' -e 's/^ *//' -e 's/ *$//' | grep . | sort -u; }
depends=$(dpkg-deb -f "$deb" Depends | names | tr '\n' ' ')
tools=$(sed 's/^shlibs:Depends=//' "$out/road-tools.depends" | names | tr '\n' ' ')
status=0
bash "$root/scripts/debian-root.sh" --release "$release" --name package \
  --packages "$road_packages $tools" --download "$depends" --bind "$out" \
  --env LUMIVO_PACKAGE_TEST_STARTED="$started" -- \
  bash "$root/scripts/test-package.sh" --in-clean-root "$deb" "$build" "$out" "$gimp" ||
  status=$?
[ "$status" = 0 ] || exit "$status"
say "ok: $release"
