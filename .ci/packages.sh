#!/usr/bin/env bash
# Builds the Linux packages (.deb, .tar.gz) and checks that each holds both
# programs, the README, the LICENSE, the examples and the manual pages; runs
# the programs installed from the .deb on an installed example, and checks
# that their --version names the package's version. When the Windows cross
# build exists (build/windows with both .exe files), also makes its .zip and
# checks it the same way.
#
# Usage: .ci/packages.sh [linux-build-dir]   (default build/default)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/default}
windows=${QSTAT_WINDOWS_BUILD:-build/windows}
failures=0

if [ "$build" = build/default ]; then
  cmake --preset default >/dev/null
else
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)"
(cd "$build" && rm -f qstat_*.deb qstat-*.tar.gz && cpack -G DEB >/dev/null && cpack -G TGZ >/dev/null)

# expect PACKAGE LISTING PREFIX PATH...: each PATH (below PREFIX) must be in LISTING.
expect() {
  local package=$1 listing=$2 prefix=$3
  shift 3
  local missing=0 path
  for path in "$@"; do
    if ! grep -qxF -- "$prefix$path" <<<"$listing"; then
      echo "FAIL: $package lacks $prefix$path" >&2
      missing=1
    fi
  done
  if [ $missing -eq 0 ]; then
    echo "ok: $package holds all $# expected files"
  else
    failures=$((failures + 1))
  fi
}

examples=(tidal_discharge.xys knik_river_daily.txt sediment_flux.txt)
linux_paths=(bin/qvolstat bin/qmassstat share/doc/qstat/README.md share/doc/qstat/LICENSE
  share/man/man1/qvolstat.1.gz share/man/man1/qmassstat.1.gz)
for e in "${examples[@]}"; do linux_paths+=("share/doc/qstat/examples/$e"); done

debs=("$build"/qstat_*.deb)
tgzs=("$build"/qstat-*.tar.gz)
[ -f "${debs[0]}" ] || { echo "FAIL: no .deb in $build" >&2; exit 1; }
[ -f "${tgzs[0]}" ] || { echo "FAIL: no .tar.gz in $build" >&2; exit 1; }
deb=${debs[0]}
tgz=${tgzs[0]}

# dpkg-deb -c prints tar's long listing: the path is the sixth field.
expect "$(basename "$deb")" "$(dpkg-deb -c "$deb" | awk '{print $6}')" ./usr/ "${linux_paths[@]}"
top=$(basename "$tgz" .tar.gz)
expect "$(basename "$tgz")" "$(tar tzf "$tgz")" "$top/" "${linux_paths[@]}"

# The installed programs work on the installed examples.
# No dot in the path: a dot before the extension would make the .xys
# example read as a .txt series.
root=$(mktemp -d /tmp/qstatpkgXXXXXX)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
doc=$root/usr/share/doc/qstat/examples
status=0
"$root/usr/bin/qvolstat" "$doc/tidal_discharge.xys" "$root/tidal.txt" </dev/null || status=$?
if [ $status -eq 0 ] && grep -q '^Number of outliers:      3' "$root/tidal.txt"; then
  echo "ok: installed qvolstat reports the installed tidal example"
else
  echo "FAIL: installed qvolstat on tidal_discharge.xys (status $status)" >&2
  failures=$((failures + 1))
fi
status=0
"$root/usr/bin/qmassstat" "$doc/sediment_flux.txt" "$root/sediment.txt" </dev/null || status=$?
if [ $status -eq 0 ] && grep -q '^Time Series length:     97' "$root/sediment.txt"; then
  echo "ok: installed qmassstat reports the installed sediment example"
else
  echo "FAIL: installed qmassstat on sediment_flux.txt (status $status)" >&2
  failures=$((failures + 1))
fi

# Both programs and the package carry the one version of the project.
version=$(dpkg-deb -f "$deb" Version)
for program in qvolstat qmassstat; do
  said=$("$root/usr/bin/$program" --version </dev/null | tr -d '\r') || said="status $?"
  if [ "$said" = "$program $version" ]; then
    echo "ok: installed $program --version says $said"
  else
    echo "FAIL: installed $program --version says '$said', the package is $version" >&2
    failures=$((failures + 1))
  fi
done

if [ -f "$windows/qvolstat.exe" ] && [ -f "$windows/qmassstat.exe" ]; then
  (cd "$windows" && rm -f qstat-*.zip && cpack -G ZIP >/dev/null)
  zips=("$windows"/qstat-*.zip)
  if [ -f "${zips[0]}" ]; then
    zip=${zips[0]}
    windows_paths=(qvolstat.exe qmassstat.exe docs/README.md docs/LICENSE)
    for e in "${examples[@]}"; do windows_paths+=("examples/$e"); done
    expect "$(basename "$zip")" "$(unzip -Z1 "$zip")" "$(basename "$zip" .zip)/" "${windows_paths[@]}"
  else
    echo "FAIL: no .zip in $windows" >&2
    failures=$((failures + 1))
  fi
else
  echo "skipped: no Windows programs in $windows, so no .zip"
fi

if [ $failures -ne 0 ]; then
  echo "package check: $failures failure(s)" >&2
  exit 1
fi
echo "package check: all packages complete"
