#!/bin/sh
# vrxlog is a command-line tool: neither it nor any library it loads may be Qt Widgets or Qt's
# printing module (which brings Widgets with it), and it asks for no D-Bus itself. (Debian's
# Qt Gui, which draws the PDF's fonts, loads D-Bus for its own reasons.)
set -u
program=$1
loaded=$(ldd "$program") || { echo "check-links: ldd failed on $program" >&2; exit 1; }
needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
status=0
for library in libQt6Widgets libQt6PrintSupport; do
  if echo "$loaded" | grep -q "$library"; then
    echo "check-links: $program loads $library:" >&2
    echo "$loaded" | grep "$library" >&2
    status=1
  fi
done
if echo "$needed" | grep -q -i dbus; then
  echo "check-links: $program links D-Bus itself: $(echo "$needed" | grep -i dbus)" >&2
  status=1
fi
[ $status -eq 0 ] && echo "check-links: $program loads no widgets and no D-Bus of its own"
exit $status
