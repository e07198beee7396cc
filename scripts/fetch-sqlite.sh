#!/usr/bin/env bash
# Fetches the SQLite amalgamation (sqlite3.c, sqlite3.h) that the cookie database
# code compiles in, from one pinned npm tarball whose checksum is checked, into a
# cache folder outside the repository (CMake looks in the same place):
#   ${BRACKMOOR_SQLITE_DIR:-$HOME/.cache/brackmoor/sqlite}
# Quick when the files are there already.
set -euo pipefail
PACKAGE=better-sqlite3@12.11.1
TARBALL=better-sqlite3-12.11.1.tgz
SHA256=ebf0ed75a7a59dbcb3b24bbd014ef49d9f15bc328e4adcbf516f2a8fadfa2835
SHA512=76af40b40a608393c616d0733c54819771d94231e893981a40233ace1d989346929830acd426e7548f3f1e001242434ab16169b1e20ef5b7a0e71c696216c87c
DEST=${BRACKMOOR_SQLITE_DIR:-$HOME/.cache/brackmoor/sqlite}
STAMP="$DEST/.$SHA256"

[ -f "$STAMP" ] && [ -f "$DEST/sqlite3.c" ] && [ -f "$DEST/sqlite3.h" ] && exit 0
mkdir -p "$DEST"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
checked() {
  echo "$SHA256  $1" | sha256sum -c --status && echo "$SHA512  $1" | sha512sum -c --status
}
if [ ! -f "$DEST/$TARBALL" ] || ! checked "$DEST/$TARBALL"; then
  echo "fetch-sqlite: npm pack $PACKAGE"
  (cd "$work" && npm pack --silent "$PACKAGE" >/dev/null)
  mv "$work/$TARBALL" "$DEST/$TARBALL"
fi
if ! checked "$DEST/$TARBALL"; then
  echo "fetch-sqlite: checksum of $TARBALL does not match; refusing it" >&2
  rm -f "$DEST/$TARBALL"
  exit 1
fi
tar -xzf "$DEST/$TARBALL" -C "$work" package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
mv "$work/package/deps/sqlite3/sqlite3.c" "$work/package/deps/sqlite3/sqlite3.h" "$DEST/"
touch "$STAMP"
