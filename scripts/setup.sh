#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (run as root). Quick when
# everything is present. Do not add the i386 architecture: its index is out of
# step with amd64 here, so 32-bit Wine cannot be installed; the x86_64 build is
# the one that runs under Wine, the i686 build is compiled only.
set -euo pipefail
need=()
have() { command -v "$1" >/dev/null 2>&1; }
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64)
have i686-w64-mingw32-g++-posix   || need+=(g++-mingw-w64-i686)
[ -x /usr/lib/wine/wine64 ]        || need+=(wine wine64)
have Xvfb                         || need+=(xvfb)
have xauth                        || need+=(xauth)
have xdpyinfo                     || need+=(x11-utils)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
have cmake                        || need+=(cmake)
have ninja                        || need+=(ninja-build)
have python3                      || need+=(python3)
have flock                        || need+=(util-linux)
# The installers are built with makensis; the import check reads PE tables with
# the MinGW objdump, which comes with the compilers (binutils-mingw-w64).
have makensis                     || need+=(nsis)
have i686-w64-mingw32-objdump     || need+=(binutils-mingw-w64-i686)
have x86_64-w64-mingw32-objdump   || need+=(binutils-mingw-w64-x86-64)
# Screenshots of the companion's pages (scripts/screenshots.sh).
have xwd                          || need+=(x11-apps)
have pnmtopng                     || need+=(netpbm)
if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
# The SQLite amalgamation, pinned and checked, into its cache folder.
bash "$(dirname "$0")/fetch-sqlite.sh"
