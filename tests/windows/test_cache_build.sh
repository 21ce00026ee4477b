#!/usr/bin/env bash
# The shared cache of the Windows build (scripts/cache-build) with a stand-in build that takes
# two seconds: two builders of one recipe at once build it once, the second waiting and then
# reusing it; a builder of another recipe removes nothing of the first; an interrupted build is
# built again.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
export XDG_CACHE_HOME
XDG_CACHE_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CACHE_HOME"' EXIT
builds=$XDG_CACHE_HOME/builds
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }

# What build-qt-windows does, with a build of two seconds that leaves a mark in its folder.
builder() {
  . "$top/scripts/cache-build"
  if cache_enter stand-in thing "$1"; then
    echo "$PREFIX"
    return
  fi
  mkdir -p "$BUILD" "$PREFIX"
  touch "$BUILD/started"
  echo "$1" >>"$builds"
  sleep 2
  echo made >"$PREFIX/made"
  cache_done
  echo "$PREFIX"
}

(builder one) >"$XDG_CACHE_HOME/a.out" 2>"$XDG_CACHE_HOME/a.err" &
sleep 0.5
(builder one) >"$XDG_CACHE_HOME/b.out" 2>"$XDG_CACHE_HOME/b.err"
wait
first=$(cat "$XDG_CACHE_HOME/a.out")
check "two builders at once build once" '[ "$(grep -c one "$builds")" = 1 ]'
check "the second says that it waits" 'grep -q "another build of thing-.* runs in .*; waiting for it" "$XDG_CACHE_HOME/b.err"'
check "the second reuses the first one's result" '[ "$(cat "$XDG_CACHE_HOME/b.out")" = "$first" ] && [ -f "$first/made" ]'
check "the build folder is gone when done" '[ ! -e "$XDG_CACHE_HOME/vrxpv/build-$(basename "$first")" ]'

second=$( (builder two) 2>/dev/null)
check "another recipe has a folder of its own" '[ "$second" != "$first" ] && [ -f "$second/made" ]'
check "another recipe leaves the first one's folder" '[ -f "$first/made" ] && [ "$(cat "$first/vrxpv-build-stamp")" = one ]'

# Interrupted while it builds: no stamp, and the next builder builds again, in the folder left.
(builder three) >/dev/null 2>&1 &
pid=$!
sleep 1
kill "$pid"
wait "$pid" 2>/dev/null
third=$( (builder three) 2>/dev/null)
check "an interrupted build is built again" '[ "$(grep -c three "$builds")" = 2 ] && [ -f "$third/made" ]'

[ $fail -eq 0 ] && echo "the Windows build cache: one builder at a time, each recipe in its own folder"
exit $fail
