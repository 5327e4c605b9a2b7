#!/bin/sh
# gui-session.sh - the X display and the Wine prefix of the desktop tests.
#   gui-session.sh start <state-dir> <prefix>  Xvfb on a free display, fresh prefix
#   gui-session.sh stop  <state-dir> <prefix>  ends the prefix's processes and Xvfb
#
# The desktop program needs a wineserver that was started with DISPLAY set,
# so its tests get a prefix of their own (the headless tests' prefix keeps a
# wineserver without a display). Xvfb picks a free display number itself
# (-displayfd); the number and the server's process id go to
# <state-dir>/display.env, which the gui-run wrapper reads.
# The prefix is set up for Chinese user texts: CJK glyphs through FontLink
# for the dialog fonts and Wine's own TrueType fonts in windows/Fonts for the
# title bars (scripts/wine-cjk-fonts.sh), a substitute for the list font, and
# one virtual desktop (explorer's "Default" desktop for every program) so
# that windows get frames without a window manager.
set -u
action=$1
state=$2
prefix=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
LUMARET_ROOT=$root
. "$LUMARET_ROOT/scripts/wine-env.sh"

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export LC_ALL=zh_CN.UTF-8

screen_size=1280x800
cjk_link='wqy-microhei.ttc,WenQuanYi Micro Hei'

stop_session() {
  if [ -f "$state/display.env" ]; then
    . "$state/display.env"
    export DISPLAY
    timeout 30 wineserver -k >/dev/null 2>&1
    # Only our server: the number may belong to another process by now.
    if [ -n "${XVFB_PID:-}" ] && grep -q Xvfb "/proc/$XVFB_PID/cmdline" 2>/dev/null; then
      kill "$XVFB_PID" 2>/dev/null
      for _ in 1 2 3 4 5 6 7 8 9 10; do
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.5
      done
      if grep -q Xvfb "/proc/$XVFB_PID/cmdline" 2>/dev/null; then
        kill -9 "$XVFB_PID" 2>/dev/null
      fi
    fi
    rm -f "$state/display.env"
  else
    timeout 30 wineserver -k >/dev/null 2>&1
  fi
}

start_xvfb() {
  mkdir -p "$state"
  rm -f "$state/displayfd" "$state/display.env"
  # setsid and no shared descriptors: the server outlives this script
  # without holding the test runner's output pipes open.
  setsid Xvfb -displayfd 9 -screen 0 "${screen_size}x24" -nolisten tcp -noreset \
    9>"$state/displayfd" </dev/null >"$state/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    if [ -s "$state/displayfd" ]; then
      break
    fi
    if ! kill -0 "$xvfb_pid" 2>/dev/null; then
      echo "Xvfb ended at start:" >&2
      cat "$state/xvfb.log" >&2
      return 1
    fi
    sleep 0.1
  done
  number=$(tr -dc '0-9' <"$state/displayfd")
  if [ -z "$number" ]; then
    echo "Xvfb reported no display number" >&2
    kill "$xvfb_pid" 2>/dev/null
    return 1
  fi
  printf 'DISPLAY=:%s\nXVFB_PID=%s\n' "$number" "$xvfb_pid" >"$state/display.env"
  DISPLAY=":$number"
  export DISPLAY
  echo "Xvfb on display :$number (pid $xvfb_pid, ${screen_size})"
}

reg_add() {
  wine reg add "$@" /f >/dev/null 2>&1
}

create_prefix() {
  if [ -d "$prefix" ]; then
    rm -rf "$prefix"
  fi
  mkdir -p "$prefix"
  wineboot -i >/dev/null 2>&1
  timeout 60 wineserver -w

  reg_add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
  # Wine's fonts in the prefix and CJK glyphs for the dialog fonts, as the
  # demo's prefix has them; then the few faces the program adds.
  "$root/scripts/wine-cjk-fonts.sh" || { echo "CJK fonts could not be set up" >&2; return 1; }
  link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  for face in 'MS Sans Serif' 'Lucida Sans Unicode' 'Arial'; do
    reg_add "$link" /v "$face" /t REG_MULTI_SZ /d "$cjk_link"
  done
  # The variable list's font.
  subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  for face in '微软雅黑' 'Microsoft YaHei'; do
    reg_add "$subst" /v "$face" /t REG_SZ /d 'WenQuanYi Micro Hei'
  done
  reg_add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default
  reg_add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d "$screen_size"
  timeout 60 wineserver -w
}

case "$action" in
  start)
    stop_session
    start_xvfb || exit 1
    create_prefix || { stop_session; exit 1; }
    echo "gui session ready: DISPLAY=$DISPLAY WINEPREFIX=$prefix"
    ;;
  stop)
    stop_session
    echo "gui session stopped: $prefix"
    ;;
  *)
    echo "usage: $0 start|stop <state-dir> <prefix>" >&2
    exit 2
    ;;
esac
