#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root and checks what it installs.
set -euo pipefail
build=$1
cmake --build "$build" --target package-contents >/dev/null
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
         usr/share/man/man1/vrxpv.1.gz usr/share/man/man1/vrxlog.1.gz \
         usr/share/doc/vrxpv/copyright usr/share/doc/vrxpv/changelog.gz; do
  if [ ! -e "$root/$f" ]; then echo "missing in package: $f"; fail=1; fi
done
file "$root/usr/share/icons/hicolor/32x32/apps/vrxpv.png" | grep -q '32 x 32' || { echo "32x32 icon has the wrong size"; fail=1; }
for b in vrxpv vrxlog; do
  file -b "$root/usr/bin/$b" | grep -q ', stripped' || { echo "usr/bin/$b is not stripped"; fail=1; }
done
# The changelog's latest entry names the version being packaged.
[ "$(zcat "$root/usr/share/doc/vrxpv/changelog.gz" | dpkg-parsechangelog -l - -S Version)" = \
  "$(dpkg-deb -f "$deb" Version)" ] || { echo "changelog.gz does not start with this version"; fail=1; }

desktop-file-validate "$root/usr/share/applications/vrxpv.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.vrxpv.metainfo.xml"

grep -qx 'MimeType=text/x-log;' "$root/usr/share/applications/vrxpv.desktop" \
  || { echo "the desktop entry does not offer itself for .log files"; fail=1; }

# Debian's own package checks: any error or warning fails.
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" || { echo "lintian reports errors or warnings"; fail=1; }
elif [ "${CI:-}" = true ]; then
  echo "lintian is not installed"; fail=1
else
  echo "lintian is not installed: lintian check skipped"
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# The fonts: the Liberation faces the windows are laid out in, and a proportional sans-serif face
# for menus and dialogs on a system that has no other font.
for lib in libqt6widgets6 libqt6printsupport6 libcurl4 libcups2 fonts-liberation fonts-dejavu-core; do
  echo "$depends" | grep -q "$lib" || { echo "package does not depend on $lib"; fail=1; }
done
[ $fail -eq 0 ] && echo "package check passed"
exit $fail
