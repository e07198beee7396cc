#!/usr/bin/env bash
# The 32-bit release: builds the programs and their setup program in build-i686/
# (RELEASE_DIR chooses another folder) and checks that every program would load
# on Windows XP SP3 (scripts/check-imports.py).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${RELEASE_DIR:-$root/build-i686}
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686.cmake" -DBRACKMOOR_TESTS=OFF >/dev/null
cmake --build "$out"
python3 "$root/scripts/check-imports.py" "$out/bin/brackmoor.exe" "$out/bin/BrackmoorEx.exe" "$out/bin/tallowpro.dll"
test -f "$out/installer/Brackmoor-Setup.exe"
echo "release setup program: $out/installer/Brackmoor-Setup.exe"
