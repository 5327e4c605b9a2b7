#!/usr/bin/env python3
"""Stand-in cloud platform for the Lumaret gateway: answers the five
operations of "/opc.do" with seeded accounts, projects and changing values,
with switchable faults and an optional HTTPS mode.

    python3 tools/platform/platform_main.py --port 0 --ready-file /tmp/pf.json

The first line on the standard output is "LISTENING <base URL>"; README.md
describes the options, the seeded data and the control endpoint.
"""

import argparse
import json
import os
import random
import shutil
import signal
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import seed_data  # noqa: E402
import tls_setup  # noqa: E402
from control import ControlEndpoint  # noqa: E402
from faults import FaultSettingError, REFUSE_MODES  # noqa: E402
from http_service import ListenGuard, Listener  # noqa: E402
from platform_app import PlatformApp  # noqa: E402
from request_log import ConsoleLog  # noqa: E402


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        description="Stand-in cloud platform answering the gateway's /opc.do requests.")
    parser.add_argument("--port", type=int, default=8080,
                        help="port of the platform (0: pick a free one; default 8080)")
    parser.add_argument("--bind", default="127.0.0.1",
                        help="address to listen on (default 127.0.0.1)")
    parser.add_argument("--control-port", type=int, default=0,
                        help="extra plain-HTTP port that serves only /_control and "
                             "stays open while the platform refuses connections "
                             "(0: pick a free one, -1: none)")
    parser.add_argument("--ready-file",
                        help="write the listening addresses here as JSON once ready")
    parser.add_argument("--seed", type=int,
                        help="seed of the simulated values and ids (default: random)")
    parser.add_argument("--freeze-clock", action="store_true",
                        help="start with the value clock stopped at 0")
    parser.add_argument("--session-lifetime", type=float, default=1800,
                        help="seconds a session id stays valid after login (0: forever)")
    parser.add_argument("--plant-size", type=int, default=0, metavar="N",
                        help='add the account "plant" (password "plant123") with N counters')
    parser.add_argument("--log-limit", type=int, default=10000,
                        help="requests kept for /_control/requests")
    tls = parser.add_argument_group("HTTPS")
    tls.add_argument("--https", action="store_true",
                     help="serve HTTPS with a certificate made at start")
    tls.add_argument("--tls-name", default="localhost",
                     help="DNS name in the server certificate (default localhost)")
    tls.add_argument("--cert-dir",
                     help="where to write the certificates (default: a temporary "
                          "folder removed at exit)")
    faults = parser.add_argument_group("faults (all switchable at run time)")
    faults.add_argument("--refuse", choices=REFUSE_MODES[1:],
                        help="refuse connections: listen (not listening), close "
                             "(close without reply) or reset")
    faults.add_argument("--delay", type=float, help="reply this many seconds late")
    faults.add_argument("--http500", action="store_true",
                        help="reply HTTP 500 with an HTML body")
    faults.add_argument("--empty-reply", action="store_true", help="reply with no body")
    faults.add_argument("--non-json", action="store_true", help="reply with an HTML page")
    faults.add_argument("--success-string", action="store_true",
                        help='send "success" as a string')
    faults.add_argument("--numeric-session-id", action="store_true",
                        help="hand out session ids as JSON numbers")
    faults.add_argument("--fault-reqcode", action="append", metavar="REQCODE",
                        help="limit the fault options above to this reqCode (repeatable)")
    return parser.parse_args(argv)


def apply_fault_options(app, args):
    scope = {"reqCodes": args.fault_reqcode} if args.fault_reqcode else {}
    if args.refuse:
        app.faults.set("refuse", dict(scope, mode=args.refuse) if args.refuse != "listen"
                       else {"mode": "listen"})
    if args.delay:
        app.faults.set("delay", dict(scope, seconds=args.delay))
    for name, on in (("http500", args.http500), ("empty_reply", args.empty_reply),
                     ("non_json", args.non_json), ("success_string", args.success_string)):
        if on:
            app.faults.set(name, dict(scope))
    app.sessions.numeric_ids = args.numeric_session_id


def url_host(bind, tls_files):
    if tls_files is not None:
        return tls_files.dns_name
    if bind in ("0.0.0.0", ""):
        return "127.0.0.1"
    if bind == "::":
        return "[::1]"
    return "[%s]" % bind if ":" in bind else bind


def write_ready_file(path, info):
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8") as handle:
        json.dump(info, handle, indent=2)
    os.replace(temporary, path)


def main(argv=None):
    args = parse_arguments(argv)
    try:
        sys.stdout.reconfigure(encoding="utf-8", errors="backslashreplace",
                               line_buffering=True)
    except AttributeError:
        pass
    console = ConsoleLog(sys.stdout)
    seed = args.seed if args.seed is not None else random.randrange(1, 1000000)
    app = PlatformApp(seed, args.session_lifetime, console,
                      frozen_clock=args.freeze_clock, log_limit=args.log_limit,
                      plant_size=max(0, args.plant_size))
    try:
        apply_fault_options(app, args)
    except FaultSettingError as error:
        print("bad fault option: %s" % error, file=sys.stderr)
        return 2

    cert_dir, temporary_certs, tls_files, context = None, False, None, None
    if args.https:
        cert_dir = args.cert_dir or tempfile.mkdtemp(prefix="platform-tls-")
        temporary_certs = args.cert_dir is None
        tls_files = tls_setup.make_certificates(cert_dir, args.tls_name)
        context = tls_setup.server_context(tls_files)

    control = ControlEndpoint(app)
    main_listener = Listener("platform", args.bind, args.port, app, control, context)
    control_listener = None
    try:
        if not app.faults.refuse_listen():
            main_listener.start()
        else:
            probe = Listener("probe", args.bind, args.port, app, control, context)
            probe.start()
            main_listener.port = probe.port
            probe.stop()
        if args.control_port >= 0:
            control_listener = Listener("control", args.bind, args.control_port, app, control)
            control_listener.start()
    except OSError as error:
        print("cannot listen on %s port %d: %s" % (args.bind, args.port, error),
              file=sys.stderr)
        main_listener.stop()
        if temporary_certs:
            shutil.rmtree(cert_dir, ignore_errors=True)
        return 1
    guard = ListenGuard(app, main_listener)
    app.switch_listeners.append(guard.reconcile)
    guard.start()

    scheme = "https" if tls_files else "http"
    host = url_host(args.bind, tls_files)
    base_url = "%s://%s:%d" % (scheme, host, main_listener.port)
    info = {
        "pid": os.getpid(),
        "scheme": scheme,
        "bind": args.bind,
        "host": host,
        "port": main_listener.port,
        "base_url": base_url,
        "url": base_url + "/opc.do",
        "control_url": base_url + "/_control",
        "control_port": control_listener.port if control_listener else None,
        "control_base_url": ("http://%s:%d" % (url_host(args.bind, None),
                                               control_listener.port)
                             if control_listener else None),
        "seed": seed,
        "tls": tls_files.describe() if tls_files else None,
    }
    app.endpoints = info

    print("LISTENING %s" % base_url, flush=True)
    console.event("platform stand-in: %s, seed %d, sessions last %gs" % (
        info["url"], seed, args.session_lifetime))
    if control_listener:
        console.event("control port: %s/_control" % info["control_base_url"])
    if tls_files:
        console.event("TLS certificate for DNS name %s; CA file: %s"
                      % (tls_files.dns_name, tls_files.ca_file))
    console.event("demo account: %s / %s" % (seed_data.DEMO_ACCOUNT, seed_data.DEMO_PASSWORD))
    if args.ready_file:
        write_ready_file(args.ready_file, info)

    def stop(signum, frame):
        app.stopping.set()
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    while not app.stopping.wait(0.2):
        pass

    console.event("stopping")
    guard.close()
    if control_listener:
        control_listener.stop()
    if args.ready_file:
        try:
            os.remove(args.ready_file)
        except OSError:
            pass
    if temporary_certs:
        shutil.rmtree(cert_dir, ignore_errors=True)
    console.event("stopped")
    return 0


if __name__ == "__main__":
    sys.exit(main())
