#!/bin/sh
# Runs a test program as an unprivileged user when started as root: root reads and writes
# through any file permission, so the permission checks only mean something for another user.
# Exits 77 (counted as skipped) when no such user can run the program here.
program=$1
shift
if [ "$(id -u)" != 0 ]; then
  exec "$program" "$@"
fi
command -v setpriv >/dev/null 2>&1 || exit 77
as_nobody="setpriv --reuid=nobody --regid=nogroup --clear-groups --"
$as_nobody test -x "$program" 2>/dev/null || exit 77
exec $as_nobody "$program" "$@"
