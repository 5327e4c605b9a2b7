#!/bin/sh
# Creates or stops the throw-away Wine prefix of one test run.
#   wine-prefix.sh create <dir>   fresh prefix, booted, wineserver idle
#   wine-prefix.sh stop <dir>     ends every process of the prefix
set -u
LUMARET_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$LUMARET_ROOT/scripts/wine-env.sh"
action=$1
prefix=$2
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export LC_ALL=zh_CN.UTF-8

case "$action" in
  create)
    if [ -d "$prefix" ]; then
      timeout 30 wineserver -k >/dev/null 2>&1
      rm -rf "$prefix"
    fi
    mkdir -p "$prefix"
    wineboot -i >/dev/null 2>&1
    # RpcSs must be up before any out-of-process COM: wait for the boot to settle.
    timeout 60 wineserver -w
    # Crash dialogs off: a crashing program must fail its test, not wait for a click.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    timeout 60 wineserver -w
    echo "wine prefix ready: $prefix"
    ;;
  stop)
    timeout 30 wineserver -k >/dev/null 2>&1
    echo "wine prefix stopped: $prefix"
    ;;
  *)
    echo "usage: $0 create|stop <prefix>" >&2
    exit 2
    ;;
esac
