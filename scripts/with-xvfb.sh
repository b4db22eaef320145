#!/usr/bin/env bash
# Runs one command on a private virtual screen with a window manager, then stops both.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"
xvfb_start || exit 1
"$@"
rc=$?
xvfb_stop
exit $rc
