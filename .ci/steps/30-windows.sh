#!/usr/bin/env bash
# The Windows build under wine, then the release packages, each checked by
# use: the zip's tarnovelix.exe converts under wine, the .deb's binary runs
# from a scratch root; and each carries the licence. About 1.5 minutes on a
# fresh machine, most of it the install of mingw-w64 and wine.
set -euo pipefail
repo=$(pwd)
fail() { echo "$*" >&2; exit 1; }
make windows-test
make package

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unzip -q build/windows/tarnovelix-*.zip -d "$scratch/zip"
for f in tarnovelix.exe README.md LICENSE.txt tarnovelix.txt; do
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

# The licence. The zip's LICENSE.txt is LICENSE, the MIT text, with CR LF.
zipdir=$(echo "$scratch"/zip/tarnovelix-*)
head -n 1 "$zipdir/LICENSE.txt" | grep -qx $'MIT License\r' ||
  fail "zip: LICENSE.txt does not start with the MIT licence's title"
grep -q '^Permission is hereby granted, free of charge' "$zipdir/LICENSE.txt" ||
  fail "zip: LICENSE.txt lacks the MIT permission text"
sed 's/$/\r/' LICENSE | cmp -s - "$zipdir/LICENSE.txt" ||
  fail "zip: LICENSE.txt is not LICENSE with CR LF line ends"

# The .deb's copyright file, machine-readable: one Files: * stanza under
# LICENSE's copyright line, License: MIT, and a standalone License paragraph
# whose text is LICENSE's permission text.
deb=$(echo build/package/tarnovelix_*.deb)
doc="$scratch/root/usr/share/doc/tarnovelix"
copyright="$doc/copyright"
test -s "$copyright" || fail ".deb lacks usr/share/doc/tarnovelix/copyright"
head -n 1 "$copyright" | grep -qx \
  'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail ".deb: copyright does not open with the Format line"
# An empty line inside a field is " ."; one of blanks alone is malformed.
! grep -qE '^[[:space:]]+$' "$copyright" ||
  fail ".deb: copyright has a line of blanks alone"
grep -qx 'Upstream-Name: tarnovelix' "$copyright" ||
  fail ".deb: copyright lacks Upstream-Name"
holder=$(sed -n 's/^Copyright (c) //p' LICENSE)
grep -A 2 -x 'Files: \*' "$copyright" |
  cmp -s - <(printf 'Files: *\nCopyright: %s\nLicense: MIT\n' "$holder") ||
  fail ".deb: copyright lacks the stanza Files: *, Copyright: $holder, License: MIT"
awk 'p && !/^ / { exit } p { print } /^License: MIT$/ && ++n == 2 { p = 1 }' \
  "$copyright" | sed 's/^ //; s/^\.$//' |
  cmp -s - <(sed -n '/^Permission is hereby granted/,$p' LICENSE) ||
  fail ".deb: copyright's License: MIT paragraph is not LICENSE's text"

# Its changelog: packaging/deb/changelog as gzip -9 -n makes it, which parses
# without a warning, its newest entry the package's version.
test -s "$doc/changelog.gz" || fail ".deb lacks usr/share/doc/tarnovelix/changelog.gz"
gzip -9 -n -c packaging/deb/changelog | cmp -s - "$doc/changelog.gz" ||
  fail ".deb: changelog.gz is not packaging/deb/changelog compressed by gzip -9 -n"
zcat "$doc/changelog.gz" >"$scratch/changelog"
logged=$(dpkg-parsechangelog -l "$scratch/changelog" -S Version 2>"$scratch/parse.err")
test ! -s "$scratch/parse.err" || { cat "$scratch/parse.err"; fail ".deb: changelog does not parse cleanly"; }
version=$(dpkg-deb -f "$deb" Version)
test "$logged" = "$version" ||
  fail ".deb: changelog's newest entry is $logged, the package is $version"

# Its Maintainer: a name, and no placeholder address (RFC 2606 names).
maintainer=$(dpkg-deb -f "$deb" Maintainer)
named='^[^<]*[[:alnum:]]'
[[ $maintainer =~ $named ]] || fail ".deb: Maintainer has no name: '$maintainer'"
if grep -Eiq '@([a-z0-9.-]+\.)?(example(\.(com|net|org))?|invalid|test|localhost)>' \
    <<<"$maintainer"; then
  fail ".deb: Maintainer has a placeholder address: $maintainer"
fi
echo "licence: zip LICENSE.txt, .deb copyright ($(grep -m 1 '^License:' "$copyright")), changelog $logged, Maintainer: $maintainer"
