#!/usr/bin/env python3
"""Starts and stops the stand-in platforms that the gateway tests talk to:
one plain HTTP and one HTTPS instance on free ports, running in the
background between the two CTest fixture steps.

    platform_fixture.py start DIR   # ready files DIR/http.json, DIR/https.json
    platform_fixture.py stop DIR

The Windows tests find the ready files through LUMARET_PLATFORM_DIR.
"""

import json
import os
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PLATFORM_MAIN = os.path.join(HERE, "..", "..", "tools", "platform", "platform_main.py")
INSTANCES = (("http", []), ("https", ["--https"]))


def is_platform(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as handle:
            return b"platform_main.py" in handle.read()
    except OSError:
        return False


def stop(directory):
    pids_path = os.path.join(directory, "pids.json")
    if not os.path.exists(pids_path):
        return
    with open(pids_path, encoding="utf-8") as handle:
        pids = json.load(handle)
    for pid in pids:
        if is_platform(pid):
            os.kill(pid, signal.SIGTERM)
    deadline = time.monotonic() + 10
    for pid in pids:
        while is_platform(pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        if is_platform(pid):
            os.kill(pid, signal.SIGKILL)
    os.remove(pids_path)
    print("platforms stopped")


def start(directory):
    os.makedirs(directory, exist_ok=True)
    stop(directory)
    pids = []
    for name, options in INSTANCES:
        ready = os.path.join(directory, name + ".json")
        if os.path.exists(ready):
            os.remove(ready)
        log = open(os.path.join(directory, name + ".log"), "wb")
        process = subprocess.Popen(
            [sys.executable, PLATFORM_MAIN, "--port", "0", "--ready-file", ready] + options,
            stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
            cwd=directory, start_new_session=True)
        log.close()
        pids.append(process.pid)
        with open(os.path.join(directory, "pids.json"), "w", encoding="utf-8") as handle:
            json.dump(pids, handle)
        deadline = time.monotonic() + 30
        while not os.path.exists(ready):
            if process.poll() is not None or time.monotonic() > deadline:
                print("platform %s did not start" % name)
                stop(directory)
                return 1
            time.sleep(0.05)
        with open(ready, encoding="utf-8") as handle:
            print("%s: %s" % (name, json.load(handle)["url"]))
    print("platform ready")
    return 0


def main(argv):
    if len(argv) != 3 or argv[1] not in ("start", "stop"):
        print(__doc__)
        return 2
    if argv[1] == "start":
        return start(argv[2])
    stop(argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
