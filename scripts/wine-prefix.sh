#!/usr/bin/env bash
# Prepares a private Wine prefix in DIR for running Quillet: Windows 10, Chinese texts linked
# to a CJK font so they don't render as boxes, and no crash dialog (a crashing test program
# must end, not wait for someone to close a window). Calling it again on a ready prefix does
# nothing; delete DIR to start over.
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 PREFIX_DIR" >&2
  exit 2
fi
mkdir -p "$1"
PREFIX=$(cd "$1" && pwd)
STAMP="$PREFIX/.quillet-prefix-ready"
if [[ -f "$STAMP" ]]; then
  exit 0
fi

export WINEPREFIX="$PREFIX"
export WINEDEBUG=-all
# Without Mono and Gecko packages wineboot would offer to download them in a dialog. Wine's
# menu builder stays off: it would copy the prefix's shortcuts and file types into the desktop
# menus of the user running Wine, outside the prefix.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
# No window is needed to create the prefix; keep wineboot off any screen it might find.
unset DISPLAY

echo "wine-prefix: creating $PREFIX"
wineboot -i >/dev/null 2>&1

reg() { wine reg add "$@" /f >/dev/null 2>&1; }

link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Segoe UI" "Microsoft Sans Serif"; do
  reg "$link" /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei'
done
# Chinese Windows draws its dialogs (the installer's pages among them) in SimSun, which Wine
# lacks: the CJK font stands in for it.
for face in "SimSun" "宋体" "NSimSun"; do
  reg 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d 'WenQuanYi Micro Hei'
done
reg 'HKCU\Software\Wine' /v Version /t REG_SZ /d win10
reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
reg 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /t REG_SZ /d ''

# Font links are read when the server starts: let this one finish so the next start sees them.
wineserver -w || wineserver -k || true
touch "$STAMP"
echo "wine-prefix: ready"
