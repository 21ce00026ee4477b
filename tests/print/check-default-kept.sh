#!/usr/bin/env bash
# A test of the printing tests: they pass whatever default printer the user has chosen, in
# ~/.cups/lpoptions or in LPDEST, and leave it, and the machine's, as they found them.
#   check-default-kept.sh TEST_PRINT
# The user here has a home of this script's own whose default is VRX-PDF-C: a queue none of the
# tests takes for its default. Exit 77 when the scheduler lacks the queues (a failure under CI=true).
set -uo pipefail
test_print=$1

skip() {
  echo "$1"
  [ "${CI:-}" = true ] && exit 1
  exit 77
}
for queue in VRX-PDF-A VRX-PDF-B VRX-PDF-C; do
  lpstat -p "$queue" >/dev/null 2>&1 || skip "the printer $queue is missing (scripts/start-cups adds it)"
done

user_home=$(getent passwd "$(id -u)" | cut -d: -f6)
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.cups" "$home/empty"
echo "Default VRX-PDF-C" >"$home/.cups/lpoptions"

# The machine's default (the scheduler's and /etc/cups/lpoptions), and the real user's own file.
machine() {
  HOME=$home/empty env -u LPDEST -u PRINTER lpstat -d 2>&1
  cat /etc/cups/lpoptions "$user_home/.cups/lpoptions" 2>/dev/null | sha256sum
}
machine_before=$(machine)
fail=0
# The user, with or without a default in LPDEST.
as_user() {
  if [ -n "$lpdest" ]; then HOME=$home LPDEST=$lpdest env -u PRINTER "$@"
  else HOME=$home env -u LPDEST -u PRINTER "$@"; fi
}
user=$home/.cups/lpoptions
for lpdest in "" VRX-PDF-B; do
  expected=${lpdest:-VRX-PDF-C}
  before=$(cat "$user")
  if ! as_user QT_QPA_PLATFORM=offscreen "$test_print" >"$home/out.txt" 2>&1; then
    grep -E '^(FAIL|   Loc|Totals)' "$home/out.txt"
    echo "FAIL: the printing tests fail when the user's default is $expected${lpdest:+ (LPDEST)}"
    fail=1
  fi
  got=$(as_user lpstat -d 2>&1)
  [ "$got" = "system default destination: $expected" ] ||
    { echo "FAIL: the user's default after the tests: $got, not $expected"; fail=1; }
  [ "$(cat "$user")" = "$before" ] || { echo "FAIL: the tests changed the user's lpoptions"; fail=1; }
done
[ "$(machine)" = "$machine_before" ] || { echo "FAIL: the tests changed the machine's default printer"; fail=1; }
[ $fail -eq 0 ] && echo "the printing tests pass with another default printer, and leave it as it was"
exit $fail
