#!/usr/bin/env bash
# Builds the release package from the cross build into dist/:
#   dist/quillet-<version>-portable.zip  quillet.exe and license.txt
#   dist/quillet-<version>-setup.exe     the installer (NSIS; /S installs silently)
# Installs what is missing first, like run.sh and test.sh.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$ROOT"

scripts/install-deps.sh
cmake -S . -B build/win -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$ROOT/scripts/wine-run.sh" >/dev/null
cmake --build build/win --target quillet_package -j2
mkdir -p dist
shopt -s nullglob
for file in build/win/dist/quillet-*-portable.zip build/win/dist/quillet-*-setup.exe; do
  cp -f "$file" dist/
  echo "dist/$(basename "$file")"
done
