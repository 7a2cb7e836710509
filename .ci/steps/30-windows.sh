#!/usr/bin/env bash
# The Windows build under wine, then the release packages, each checked by
# use: the zip's tarnovelix.exe converts under wine, the .deb's binary runs
# from a scratch root. About 1.5 minutes on a fresh machine, most of it the
# install of mingw-w64 and wine.
set -euo pipefail
repo=$(pwd)
make windows-test
make package

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unzip -q build/windows/tarnovelix-*.zip -d "$scratch/zip"
for f in tarnovelix.exe README.md tarnovelix.txt; do
  test -s "$scratch"/zip/tarnovelix-*/"$f" || { echo "zip lacks $f"; exit 1; }
done
cp examples/scan.dat "$scratch/mesure_été.dat"
(cd "$scratch" && WINEDEBUG=-all WINEARCH=win64 LC_ALL=C.UTF-8 \
  WINEPREFIX="$repo/build/wine-prefix" \
  wine zip/tarnovelix-*/tarnovelix.exe mesure_été.dat zip.ntp >/dev/null)

dpkg-deb -x build/package/tarnovelix_*.deb "$scratch/root"
test -s "$scratch/root/usr/share/man/man1/tarnovelix.1.gz"
"$scratch/root/usr/bin/tarnovelix" "$scratch/mesure_été.dat" "$scratch/deb.ntp" \
  >/dev/null
# The same rows, but for the line ends.
sed 's/$/\r/' "$scratch/deb.ntp" | cmp - "$scratch/zip.ntp"
echo "zip and .deb: $(wc -l <"$scratch/deb.ntp") rows each, the same"
