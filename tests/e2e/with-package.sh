#!/usr/bin/env bash
# Runs the release-package end-to-end tests: unpacks the portable zip into a fresh folder whose
# name has a blank, then hands that folder and the installer to the tests.
#   with-package.sh PORTABLE_ZIP SETUP_EXE QUILLET_E2E_TESTS.EXE [test options]
set -euo pipefail
zip=$1 setup=$2 tests=$3
shift 3
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/Quillet Portable"
unzip -q "$zip" -d "$work/Quillet Portable"
export QUILLET_E2E_ZIP_LISTING="$(unzip -Z1 "$zip" | paste -sd ' ')"
export QUILLET_E2E_PORTABLE_DIR="$(winepath -w "$work/Quillet Portable" 2>/dev/null)"
export QUILLET_E2E_SETUP_EXE="$(winepath -w "$setup" 2>/dev/null)"
"$ROOT/scripts/wine-run.sh" "$tests" --gtest_filter='Package*' "$@"
