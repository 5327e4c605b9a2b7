#!/bin/sh
# platform-fixture.sh - the stand-in cloud platform for the desktop tests.
#   platform-fixture.sh start <state-dir>   starts it on free ports in the background
#   platform-fixture.sh stop <state-dir>    ends it
# Once it listens, <state-dir>/ready.json holds its ports (see
# tools/platform/README.md); its request log goes to <state-dir>/platform.log.
set -u
action=$1
state=$2
here=$(cd "$(dirname "$0")" && pwd)
main="$here/../../tools/platform/platform_main.py"

stop_platform() {
  if [ -f "$state/pid" ]; then
    pid=$(cat "$state/pid")
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null
      for _ in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      kill -9 "$pid" 2>/dev/null
    fi
    rm -f "$state/pid"
  fi
  rm -f "$state/ready.json"
}

case "$action" in
  start)
    mkdir -p "$state"
    stop_platform
    # Its own session and no shared descriptors: it outlives this script
    # without holding the test runner's output pipes open.
    setsid python3 "$main" --port 0 --ready-file "$state/ready.json" \
      </dev/null >"$state/platform.log" 2>&1 &
    echo $! >"$state/pid"
    for _ in $(seq 1 200); do
      [ -s "$state/ready.json" ] && break
      if ! kill -0 "$(cat "$state/pid")" 2>/dev/null; then
        echo "stand-in platform ended at start:" >&2
        cat "$state/platform.log" >&2
        exit 1
      fi
      sleep 0.1
    done
    if [ ! -s "$state/ready.json" ]; then
      echo "stand-in platform not ready" >&2
      stop_platform
      exit 1
    fi
    echo "stand-in platform ready: $(cat "$state/ready.json" | tr -d '\n ')"
    ;;
  stop)
    stop_platform
    echo "stand-in platform stopped"
    ;;
  *)
    echo "usage: $0 start|stop <state-dir>" >&2
    exit 2
    ;;
esac
