#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root and checks what it installs.
set -euo pipefail
build=$1
cmake --build "$build" --target package >/dev/null
deb=$(ls -t "$build"/package/vrxpv_*.deb | head -n 1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"

fail=0
for f in usr/bin/vrxpv usr/bin/vrxlog \
         usr/share/applications/vrxpv.desktop \
         usr/share/metainfo/io.github.vrxpv.metainfo.xml \
         usr/share/icons/hicolor/32x32/apps/vrxpv.png \
         usr/share/icons/hicolor/256x256/apps/vrxpv.png \
         usr/share/man/man1/vrxlog.1; do
  if [ ! -e "$root/$f" ]; then echo "missing in package: $f"; fail=1; fi
done
file "$root/usr/share/icons/hicolor/32x32/apps/vrxpv.png" | grep -q '32 x 32' || { echo "32x32 icon has the wrong size"; fail=1; }

desktop-file-validate "$root/usr/share/applications/vrxpv.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.vrxpv.metainfo.xml"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6printsupport6 libqt6network6 libcups2; do
  echo "$depends" | grep -q "$lib" || { echo "package does not depend on $lib"; fail=1; }
done
[ $fail -eq 0 ] && echo "package check passed"
exit $fail
