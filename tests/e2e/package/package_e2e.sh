#!/usr/bin/env bash
# The Debian package as a user gets it: built from the Release program folder, unpacked into a
# temporary root and started from there on the simulated scope under a real X server.
# Usage: package_e2e.sh SOURCE_DIR [RELEASE_BUILD_DIR]
# The Release build is the one scripts/run and scripts/package make; without it the test skips.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
source=$1
release=${2:-$source/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home
mkdir -p "$HOME"
log=$HOME/Orvex/log.txt
fail() { echo "FAIL: $*"; [ -f "$log" ] && sed 's/^/  log: /' "$log" | tail -40; exit 1; }

cache=$release/CMakeCache.txt
if [ ! -f "$cache" ] || ! grep -qx "CMAKE_BUILD_TYPE:STRING=Release" "$cache"; then
  echo "SKIP: no Release build in $release (./scripts/run or ./scripts/package makes it)"
  exit 77
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$cache")
arch=$(dpkg --print-architecture)

# Bring the program folder up to date with the sources, then pack it.
cmake --build "$release" -j2 >"$work/build.txt" 2>&1 || { tail -30 "$work/build.txt"; fail "build"; }
(cd "$release" && cpack -G DEB -B "$work/out") >"$work/cpack.txt" 2>&1 ||
  { cat "$work/cpack.txt"; fail "cpack"; }
deb=$work/out/orvex_${version}_${arch}.deb
[ -f "$deb" ] || { ls "$work/out"; fail "no package named orvex_${version}_${arch}.deb"; }

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = orvex ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), the project says $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
field Maintainer | grep -q '<.*@.*>' || fail "Maintainer: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"

# File list: everything that must be there, and nothing else (no tests, no build files).
dpkg-deb -c "$deb" | awk '$1 ~ /^-/ {print $6}' | sort >"$work/files.txt"
for f in usr/bin/orvex usr/bin/bravik \
  usr/lib/orvex/orvex usr/lib/orvex/bravik usr/lib/orvex/libBravik.so usr/lib/orvex/libscopesim.so \
  usr/lib/orvex/res/values/strings.txt usr/lib/orvex/sim/scenarios/default.txt \
  usr/share/applications/orvex.desktop usr/share/icons/hicolor/128x128/apps/orvex.png \
  usr/share/metainfo/org.orvex.Orvex.metainfo.xml \
  usr/share/man/man1/orvex.1.gz usr/share/man/man1/bravik.1.gz \
  usr/share/doc/orvex/copyright usr/share/doc/orvex/changelog.gz; do
  grep -qxF "./$f" "$work/files.txt" || fail "the package lacks /$f"
done
for picture in "$release"/res/*.bmp "$release"/res/*.png "$release"/res/*.jpg; do
  grep -qxF "./usr/lib/orvex/res/${picture##*/}" "$work/files.txt" || fail "the package lacks res/${picture##*/}"
done
for scenario in "$source"/sim/scenarios/*.txt; do
  grep -qxF "./usr/lib/orvex/sim/scenarios/${scenario##*/}" "$work/files.txt" ||
    fail "the package lacks the scenario ${scenario##*/}"
done
allowed='^\./usr/(bin/(orvex|bravik)|lib/orvex/(orvex|bravik|libBravik\.so|libscopesim\.so|res/[^/]+\.(bmp|png|jpg)|res/values/strings\.txt|sim/scenarios/[^/]+\.txt)|share/(applications/orvex\.desktop|icons/hicolor/128x128/apps/orvex\.png|metainfo/org\.orvex\.Orvex\.metainfo\.xml|man/man1/(orvex|bravik)\.1\.gz|doc/orvex/(copyright|changelog\.gz)))$'
stray=$(grep -Ev "$allowed" "$work/files.txt")
[ -z "$stray" ] || fail "files that do not belong in the package: $stray"

# Unpacked as dpkg would, with no trace of the machine that built it.
root=$work/root
dpkg -x "$deb" "$root" || fail "dpkg -x"
hits=$(grep -rlF -- "$source" "$root")
[ -z "$hits" ] || fail "build paths inside: $hits"

# Every library the programs need comes from a package the control file depends on.
depends=$(field Depends)
# The package names alone, one a line.
names=$(sed 's/ *([^)]*)//g; s/ *| */\n/g; s/, */\n/g' <<<"$depends")
for binary in "$root"/usr/lib/orvex/orvex "$root"/usr/lib/orvex/bravik "$root"/usr/lib/orvex/libBravik.so; do
  for lib in $(objdump -p "$binary" | awk '$1 == "NEEDED" {print $2}'); do
    [ "$lib" = libscopesim.so ] && continue
    path=$(ldd "$binary" | awk -v l="$lib" '$1 == l {print $3}')
    [ -n "$path" ] || fail "${binary##*/} needs $lib, which does not resolve"
    owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$(readlink -f "$path")" 2>/dev/null ||
      dpkg -S "${path#/usr}" 2>/dev/null)
    owner=${owner%%:*}
    [ -n "$owner" ] || fail "no package owns $path"
    grep -qxF "$owner" <<<"$names" || fail "$lib comes from $owner, which Depends lacks: $depends"
  done
done

# Lintian: errors fail, warnings are shown.
lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 || { cat "$work/lintian.txt"; fail "lintian"; }
grep '^W:' "$work/lintian.txt"

# The launchers, run from elsewhere and through a link, find their program folder.
cd /
"$root/usr/bin/orvex" --help >"$work/out.txt" 2>&1 || { cat "$work/out.txt"; fail "orvex --help"; }
grep -q -- "--simulate" "$work/out.txt" || fail "orvex --help does not list --simulate"
"$root/usr/bin/bravik" --help >"$work/out.txt" 2>&1 || { cat "$work/out.txt"; fail "bravik --help"; }
grep -q "eeprom-read" "$work/out.txt" || fail "bravik --help does not list its commands"
mkdir -p "$work/links"
ln -s "$root/usr/bin/bravik" "$work/links/bravik"
# The write test keeps its backup of the EEPROM block in the working folder.
(cd "$work" && "$work/links/bravik" --simulate check --write-test) >"$work/out.txt" 2>&1 ||
  { cat "$work/out.txt"; fail "bravik --simulate through a link"; }
grep -q "restored ok" "$work/out.txt" || { cat "$work/out.txt"; fail "bravik check"; }

# Runs the unpacked viewer until its live picture is up, then ends it as a logout would.
run_viewer() {
  local line=$1; shift
  rm -rf "$HOME/Orvex"
  "$root/usr/bin/orvex" "$@" >"$work/out.txt" 2>&1 &
  local pid=$!
  wait_for "$line" 60 || { kill -KILL "$pid"; cat "$work/out.txt"; fail "no live picture with $*"; }
  [ "$(readlink "/proc/$pid/exe")" = "$root/usr/lib/orvex/orvex" ] ||
    { kill -KILL "$pid"; fail "the launcher ran $(readlink "/proc/$pid/exe")"; }
  end_cleanly "$pid" "$work/out.txt" "the viewer"
}
run_viewer "Preview refreshCamera() K2200(1) QueryFrame OK!" --simulate
[ "$(head -n1 "$log")" = "Frame createGUIControls() Open logFile OK" ] || fail "first log line"
[ "$(cat "$HOME/Orvex/config.txt")" = "PATH $HOME/Orvex/DCIM" ] || fail "config.txt"
run_viewer "Preview refreshCamera() Index(1) QueryFrame OK!" \
  "--simulate=$root/usr/lib/orvex/sim/scenarios/desk.txt"
echo "PASS"
