#!/bin/sh
# Makes Chinese text render in the current WINEPREFIX: Wine's own fonts in
# the prefix (title bars), and a font link from the dialog and UI fonts to
# WenQuanYi Micro Hei for the CJK glyphs they lack.
set -u
LUMARET_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$LUMARET_ROOT/scripts/wine-env.sh"
[ -n "${WINEPREFIX:-}" ] || { echo "WINEPREFIX not set" >&2; exit 2; }
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI" SimSun "宋体"; do
  env LC_ALL=zh_CN.UTF-8 wine reg add "$key" /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f >/dev/null 2>&1 || exit 1
done
exit 0
