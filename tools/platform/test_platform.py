"""Tests of the stand-in platform, run against the real server in a child
process over HTTP(S):  python3 -m unittest -v test_platform"""

import http.client
import json
import os
import re
import signal
import socket
import ssl
import subprocess
import time
import unittest
import urllib.request

from standin_process import StandInProcess, encode_form

KNOWN_TYPES = ("bool", "int8", "uint8", "int16", "uint16", "int32", "uint32",
               "long", "float32", "double", "bcd", "bcd32", "bcd64")
INT_RANGES = {"int8": (-128, 127), "uint8": (0, 255), "int16": (-32768, 32767),
              "uint16": (0, 65535), "int32": (-2 ** 31, 2 ** 31 - 1),
              "uint32": (0, 2 ** 32 - 1), "long": (-2 ** 63, 2 ** 63 - 1),
              "bcd": (0, 9999), "bcd32": (0, 99999999), "bcd64": (0, 10 ** 16 - 1)}


class PlatformCase(unittest.TestCase):
    """One platform with a frozen clock for all tests of a class; every test
    starts with all switches off and an empty request log."""

    arguments = ("--freeze-clock", "--seed", "1234")

    @classmethod
    def setUpClass(cls):
        cls.platform = StandInProcess(*cls.arguments).start()
        session = cls.platform.login()
        tree = cls.platform.opc(reqCode="queryVariantTree", sessionid=session,
                                projectIds="P1001;P1002;P1003;")
        cls.tree = tree
        cls.points = {}      # (device name, variable name) -> element, project
        for project in tree["projectList"]:
            for device in project["deviceList"]:
                for element in device["variantList"]:
                    cls.points[(device["name"], element["name"])] = dict(
                        element, listedUnder=device["deviceId"],
                        projectId=project["projectId"])

    @classmethod
    def tearDownClass(cls):
        cls.platform.close()

    def setUp(self):
        self.platform.control({"reset": True, "clear_requests": True,
                               "clear_canned": True})
        self.session = self.platform.login()
        self.platform.control({"clear_requests": True})

    # helpers

    def point(self, device, name):
        return self.points[(device, name)]

    def key(self, device, name):
        p = self.point(device, name)
        return "%s:%s" % (p["deviceId"], p["variantId"])

    def values(self, *points, session=None):
        """Values of (device name, variable name) points, asked the way the
        gateway asks: ";device:variant,variant,;..." under the listing device."""
        by_device = {}
        for device, name in points:
            p = self.point(device, name)
            by_device.setdefault(p["listedUnder"], []).append(p["variantId"])
        selection = "".join(";%s:%s" % (d, "".join(v + "," for v in ids))
                            for d, ids in by_device.items())
        reply = self.platform.opc(reqCode="queryVariantValueById",
                                  sessionid=session or self.session, variants=selection)
        self.assertIs(reply["success"], True, reply)
        result = []
        for device, name in points:
            p = self.point(device, name)
            result.append(reply["variants"][p["listedUnder"]].get(p["variantId"], "absent"))
        return result

    def value(self, device, name):
        return self.values((device, name))[0]

    def write(self, device, name, text, project=None, session=None):
        p = self.point(device, name)
        return self.platform.opc(reqCode="writeVariantById",
                                 sessionid=session or self.session,
                                 id="%s:%s" % (p["deviceId"], p["variantId"]),
                                 projectId=project if project is not None else p["projectId"],
                                 value=text)

    def advance(self, seconds):
        self.platform.control({"clock": {"advance": seconds}})


class LoginTest(PlatformCase):

    def test_accepted_login_carries_session_and_department_as_texts(self):
        reply = self.platform.opc(reqCode="login", account="demo", password="demo123")
        self.assertIs(reply["success"], True)
        self.assertRegex(reply["sessionid"], r"^[0-9A-F]{32}$")
        self.assertEqual(reply["deptid"], "101")
        self.assertIsInstance(reply["msg"], str)

    def test_each_login_gets_its_own_session_and_older_ones_stay_valid(self):
        second = self.platform.login()
        self.assertNotEqual(second, self.session)
        for session in (self.session, second):
            reply = self.platform.opc(reqCode="queryDeviceTree", sessionid=session)
            self.assertIs(reply["success"], True)

    def test_chinese_account_arrives_percent_encoded_utf8(self):
        body = b"reqCode=login&account=%E5%BC%A0%E5%B7%A5&password=zhang2024"
        status, headers, raw = self.platform.post_raw(body)
        reply = json.loads(raw)
        self.assertEqual(status, 200)
        self.assertIs(reply["success"], True)
        self.assertEqual(reply["deptid"], "102")
        logged = self.platform.requests(reqCode="login")[-1]
        self.assertEqual(logged["fields"]["account"], "张工")
        self.assertEqual(logged["gbk_fields"], [])

    def test_unencoded_gbk_account_is_still_understood_and_marked(self):
        body = b"reqCode=login&account=" + "张工".encode("gbk") + b"&password=zhang2024"
        reply = json.loads(self.platform.post_raw(body)[2])
        self.assertIs(reply["success"], True)
        logged = self.platform.requests(reqCode="login")[-1]
        self.assertEqual(logged["gbk_fields"], ["account"])
        self.assertIn("\\x", logged["raw_body"])

    def test_refused_logins_carry_only_success_and_msg(self):
        cases = [("demo", "wrong"), ("nobody", "demo123"), ("DEMO", "demo123"),
                 ("locked", "locked123"), ("demo", ""), ("", "demo123")]
        messages = set()
        for account, password in cases:
            with self.subTest(account=account, password=password):
                reply = self.platform.opc(reqCode="login", account=account,
                                          password=password)
                self.assertEqual(set(reply), {"success", "msg"})
                self.assertIs(reply["success"], False)
                messages.add(reply["msg"])
        self.assertIn("账号已停用", messages)

    def test_content_type_and_utf8_body(self):
        status, headers, raw = self.platform.post_raw(
            encode_form({"reqCode": "login", "account": "demo", "password": "demo123"}))
        self.assertEqual(headers["Content-Type"], "application/json;charset=UTF-8")
        self.assertIn("登录成功".encode("utf-8"), raw)
        self.assertEqual(int(headers["Content-Length"]), len(raw))


class SessionTest(PlatformCase):

    def query(self, session):
        return self.platform.opc(reqCode="queryDeviceTree", sessionid=session)

    def test_every_operation_but_login_needs_a_live_session(self):
        for req_code in ("queryDeviceTree", "queryVariantTree",
                         "queryVariantValueById", "writeVariantById"):
            for session in ("", "0123456789ABCDEF0123456789ABCDEF", self.session.lower()):
                with self.subTest(req_code=req_code, session=session):
                    reply = self.platform.opc(reqCode=req_code, sessionid=session,
                                              projectIds="P1001;",
                                              variants=";D2001:V30001,",
                                              id="D2001:V30015", projectId="P1001",
                                              value="1")
                    self.assertEqual(reply, {"success": False, "msg": "会话已失效，请重新登录"})

    def test_session_ends_after_its_lifetime_and_a_new_login_works(self):
        self.platform.control({"session_lifetime": 0.6})
        short = self.platform.login()
        self.assertIs(self.query(short)["success"], True)
        time.sleep(0.8)
        self.assertIs(self.query(short)["success"], False)
        self.assertIs(self.query(self.session)["success"], True,
                      "a session opened under the old lifetime keeps it")
        self.assertIs(self.query(self.platform.login())["success"], True)

    def test_expire_sessions_ends_every_session_at_once(self):
        other = self.platform.login("张工", "zhang2024")
        state = self.platform.control({"expire_sessions": True})
        self.assertEqual(state["sessions"]["live"], 0)
        self.assertIs(self.query(self.session)["success"], False)
        self.assertIs(self.query(other)["success"], False)
        self.assertIs(self.query(self.platform.login())["success"], True)

    def test_numeric_session_ids(self):
        self.platform.control({"numeric_session_id": True})
        reply = self.platform.opc(reqCode="login", account="demo", password="demo123")
        self.assertIsInstance(reply["sessionid"], int)
        self.assertIs(self.query(str(reply["sessionid"]))["success"], True)


class TreeTest(PlatformCase):

    def test_device_tree_lists_the_accounts_projects_with_devices_only(self):
        reply = self.platform.opc(reqCode="queryDeviceTree", sessionid=self.session)
        self.assertIs(reply["success"], True)
        projects = reply["projectList"]
        self.assertEqual([p["projectId"] for p in projects], ["P1001", "P1002", "P1003"])
        for project in projects:
            self.assertEqual(set(project), {"projectId", "projectName", "deviceList"})
            for device in project["deviceList"]:
                self.assertEqual(set(device), {"deviceId", "name", "serlnum"})
                self.assertTrue(all(isinstance(v, str) for v in device.values()))
        self.assertEqual(projects[2]["deviceList"], [])
        self.assertEqual(projects[1]["projectName"], "一号泵站")

    def test_accounts_see_different_projects(self):
        session = self.platform.login("张工", "zhang2024")
        reply = self.platform.opc(reqCode="queryDeviceTree", sessionid=session)
        self.assertEqual([p["projectId"] for p in reply["projectList"]], ["P1002", "P1004"])

    def test_variable_tree_elements_and_member_types(self):
        for project in self.tree["projectList"]:
            self.assertEqual(set(project), {"projectId", "projectName", "deviceList"})
            for device in project["deviceList"]:
                self.assertEqual(set(device), {"deviceId", "name", "serlnum", "variantList"})
                for element in device["variantList"]:
                    self.assertEqual(set(element), {"deviceId", "variantId", "name", "type"})
                    self.assertTrue(all(isinstance(v, str) for v in element.values()))

    def test_variable_tree_has_every_type_name_and_one_unknown(self):
        types = {p["type"] for p in self.points.values()}
        self.assertLessEqual(set(KNOWN_TYPES), types)
        self.assertEqual(types - set(KNOWN_TYPES), {"string"})

    def test_names_are_gbk_texts_with_chinese_among_ascii(self):
        names = [p["name"] for p in self.points.values()]
        names += [p["projectName"] for p in self.tree["projectList"]]
        for name in names:
            name.encode("gbk")
        self.assertTrue(any(re.search(r"[\u4e00-\u9fff]", n) for n in names))
        self.assertTrue(any(n.isascii() for n in names))

    def test_only_requested_and_owned_projects_in_platform_order(self):
        reply = self.platform.opc(reqCode="queryVariantTree", sessionid=self.session,
                                  projectIds="P1004;P1002;X;;P1001")
        self.assertEqual([p["projectId"] for p in reply["projectList"]], ["P1001", "P1002"])
        reply = self.platform.opc(reqCode="queryVariantTree", sessionid=self.session,
                                  projectIds="")
        self.assertEqual(reply, {"success": True, "msg": "", "projectList": []})

    def test_a_mirrored_point_names_its_own_device(self):
        mirrored = self.point("汇总", "进水泵电流")
        original = self.point("进水泵", "电流")
        self.assertNotEqual(mirrored["deviceId"], mirrored["listedUnder"])
        self.assertEqual((mirrored["deviceId"], mirrored["variantId"]),
                         (original["deviceId"], original["variantId"]))
        self.assertEqual(self.value("汇总", "进水泵电流"), self.value("进水泵", "电流"))


class ValueTest(PlatformCase):

    def test_reply_shape_for_a_selection_text(self):
        plc = self.point("PLC-1", "running")["listedUnder"]
        meter = self.point("Meter 2", "alarm")["listedUnder"]
        selection = ";%s:%s,%s,;%s:;D9999:V1,;%s:NOPE," % (
            plc, self.point("PLC-1", "running")["variantId"],
            self.point("PLC-1", "setpoint")["variantId"], meter, plc)
        reply = self.platform.opc(reqCode="queryVariantValueById",
                                  sessionid=self.session, variants=selection)
        self.assertEqual(set(reply), {"success", "msg", "variants"})
        self.assertEqual(set(reply["variants"]), {plc, meter})
        self.assertEqual(reply["variants"][meter], {})
        self.assertEqual(len(reply["variants"][plc]), 2)

    def test_other_accounts_devices_are_left_out(self):
        session = self.platform.login("bulk", "bulk123")
        reply = self.platform.opc(reqCode="queryVariantValueById", sessionid=session,
                                  variants=";%s:%s," % (self.point("PLC-1", "running")["listedUnder"],
                                                       self.point("PLC-1", "running")["variantId"]))
        self.assertEqual(reply["variants"], {})

    def test_json_types_follow_the_type_names(self):
        plc = [(d, n) for (d, n), p in self.points.items()
               if d == "PLC-1" and n not in ("spare_input", "link_quality")]
        for (device, name), value in zip(plc, self.values(*plc)):
            type_name = self.point(device, name)["type"]
            with self.subTest(name=name, type=type_name, value=value):
                if type_name == "bool":
                    self.assertIsInstance(value, bool)
                elif type_name in INT_RANGES:
                    self.assertIs(type(value), int)
                    low, high = INT_RANGES[type_name]
                    self.assertTrue(low <= value <= high)
                elif type_name in ("float32", "double"):
                    self.assertIsInstance(value, float)
                else:
                    self.assertIsInstance(value, str)

    def test_counters_wrap_like_their_registers(self):
        names = ["cycles_u8", "batches_u16", "events_i32", "pulses_u32", "code_bcd",
                 "code_bcd32", "code_bcd64"]
        points = [("PLC-1", n) for n in names]
        before = self.values(*points)
        self.advance(20)
        after = self.values(*points)
        for name, old, new in zip(names, before, after):
            low, high = INT_RANGES[self.point("PLC-1", name)["type"]]
            with self.subTest(name=name, before=old, after=new):
                self.assertEqual(new, (old + 20 - low) % (high - low + 1) + low)
        self.assertLess(after[2], 0, "int32 counter wrapped to negative")

    def test_64_bit_counter_is_exact_beyond_double_precision(self):
        self.write("PLC-1", "total_long", "9007199254740993")
        self.assertEqual(self.value("PLC-1", "total_long"), 9007199254740993)
        self.advance(2)
        status, _, raw = self.platform.post_raw(encode_form({
            "reqCode": "queryVariantValueById", "sessionid": self.session,
            "variants": ";%s:%s," % (self.point("PLC-1", "total_long")["listedUnder"],
                                     self.point("PLC-1", "total_long")["variantId"])}))
        self.assertIn(b"9007199254740995", raw)

    def test_values_change_over_time(self):
        names = ["running", "level_i8", "temperature", "pressure", "status_text"]
        points = [("PLC-1", n) for n in names]
        seen = [set() for _ in names]
        for _ in range(12):
            for bucket, value in zip(seen, self.values(*points)):
                bucket.add(value)
            self.advance(3.7)
        for name, bucket in zip(names, seen):
            with self.subTest(name=name):
                self.assertGreater(len(bucket), 1)
        self.assertEqual(seen[0], {True, False})
        self.assertIn("运行中", seen[4])

    def test_invalid_points_are_null(self):
        self.assertIsNone(self.value("PLC-1", "spare_input"))
        self.assertEqual(self.values(("备用泵", "电流"), ("备用泵", "运行状态")), [None, None])
        self.platform.control({"device_online": {self.point("备用泵", "电流")["listedUnder"]: True}})
        self.assertIsNotNone(self.value("备用泵", "电流"))

    def test_flapping_point_turns_invalid_and_valid_again(self):
        states = set()
        for _ in range(10):
            states.add(self.value("PLC-1", "link_quality") is None)
            self.advance(4)
        self.assertEqual(states, {True, False})

    def test_hold_and_release_through_control(self):
        key = self.key("PLC-1", "temperature")
        self.platform.control({"hold": {key: 12.5}})
        self.assertEqual(self.value("PLC-1", "temperature"), 12.5)
        self.platform.control({"hold": {key: None}})
        self.assertIsNone(self.value("PLC-1", "temperature"))
        self.platform.control({"release": [key]})
        self.assertIsInstance(self.value("PLC-1", "temperature"), float)

    def test_long_selection_in_one_request(self):
        session = self.platform.login("bulk", "bulk123")
        tree = self.platform.opc(reqCode="queryVariantTree", sessionid=session,
                                 projectIds="P1005;")
        selection = "".join(
            ";%s:%s" % (d["deviceId"], "".join(v["variantId"] + "," for v in d["variantList"]))
            for d in tree["projectList"][0]["deviceList"])
        self.assertGreater(len(selection), 1024)
        status, _, raw = self.platform.post_raw(
            encode_form({"reqCode": "queryVariantValueById", "sessionid": session,
                         "variants": selection}),
            headers={"Expect": "100-continue"})
        reply = json.loads(raw)
        self.assertEqual(sum(len(v) for v in reply["variants"].values()), 200)


class WriteTest(PlatformCase):

    def test_padded_float_text_is_what_the_next_query_returns(self):
        reply = self.write("PLC-1", "setpoint", "   1.500000")
        self.assertEqual(reply, {"success": True, "msg": "写入成功"})
        self.assertEqual(self.value("PLC-1", "setpoint"), 1.5)
        self.write("PLC-1", "setpoint", "  0.100000")
        self.assertEqual(self.value("PLC-1", "setpoint"), 0.1)

    def test_write_arrives_in_the_request_log_with_key_and_value(self):
        self.write("进水泵", "频率设定", "  42.000000")
        entry = self.platform.requests(reqCode="writeVariantById")[-1]
        self.assertEqual(entry["fields"]["id"], self.key("进水泵", "频率设定"))
        self.assertEqual(entry["fields"]["value"], "  42.000000")
        self.assertEqual(entry["fields"]["projectId"], "P1002")
        self.assertEqual([p[0] for p in entry["pairs"]],
                         ["reqCode", "sessionid", "id", "projectId", "value"])
        self.assertTrue(entry["applied"])

    def test_counter_goes_on_from_the_written_value(self):
        self.write("PLC-1", "batches_u16", "100")
        self.assertEqual(self.value("PLC-1", "batches_u16"), 100)
        self.advance(3)
        self.assertEqual(self.value("PLC-1", "batches_u16"), 103)

    def test_written_values_by_type(self):
        cases = [("running", "1", True), ("running", "0", False),
                 ("running", "true", True), ("level_i8", "-5", -5),
                 ("total_long", "5000000000", 5000000000),
                 ("code_bcd", "1234", 1234), ("pressure", "  2.500000", 2.5),
                 ("status_text", "unknow value", "unknow value")]
        for name, text, expected in cases:
            with self.subTest(name=name, text=text):
                self.assertIs(self.write("PLC-1", name, text)["success"], True)
                self.assertEqual(self.value("PLC-1", name), expected)

    def test_refused_writes_leave_the_value(self):
        self.write("PLC-1", "setpoint", "7")
        cases = [("PLC-1", "setpoint", "abc", None), ("PLC-1", "setpoint", "", None),
                 ("PLC-1", "level_i8", "128", None), ("PLC-1", "cycles_u8", "-1", None),
                 ("PLC-1", "code_bcd", "10000", None), ("PLC-1", "running", "2", None),
                 ("PLC-1", "serial_no", "1", None), ("备用泵", "电流", "1", None),
                 ("PLC-1", "setpoint", "8", "P1002"), ("PLC-1", "setpoint", "8", "")]
        for device, name, text, project in cases:
            with self.subTest(device=device, name=name, text=text, project=project):
                before = self.value(device, name)
                reply = self.write(device, name, text, project=project)
                self.assertEqual(set(reply), {"success", "msg"})
                self.assertIs(reply["success"], False)
                self.assertTrue(reply["msg"])
                self.assertEqual(self.value(device, name), before)

    def test_unknown_variable_and_foreign_device_are_refused(self):
        reply = self.platform.opc(reqCode="writeVariantById", sessionid=self.session,
                                  id="D2001:V99999", projectId="P1001", value="1")
        self.assertIs(reply["success"], False)
        session = self.platform.login("bulk", "bulk123")
        self.assertIs(self.write("PLC-1", "setpoint", "1", session=session)["success"], False)

    def test_ampersand_in_a_value_splits_the_field(self):
        self.write("PLC-1", "status_text", "a&b=c")
        self.assertEqual(self.value("PLC-1", "status_text"), "a")
        entry = self.platform.requests(reqCode="writeVariantById")[-1]
        self.assertIn(["b", "c"], entry["pairs"])

    def test_gbk_value_text_is_decoded(self):
        self.write("PLC-1", "status_text", "停机".encode("gbk"))
        self.assertEqual(self.value("PLC-1", "status_text"), "停机")
        entry = self.platform.requests(reqCode="writeVariantById")[-1]
        self.assertEqual(entry["gbk_fields"], ["value"])


class FaultTest(PlatformCase):

    def login_raw(self, timeout=5):
        return self.platform.post_raw(
            encode_form({"reqCode": "login", "account": "demo", "password": "demo123"}),
            timeout=timeout)

    def test_http500_with_a_body_and_no_effect(self):
        self.platform.control({"http500": True})
        status, headers, body = self.platform.post_raw(encode_form({
            "reqCode": "writeVariantById", "sessionid": self.session,
            "id": self.key("PLC-1", "setpoint"), "projectId": "P1001", "value": "77"}))
        self.assertEqual(status, 500)
        self.assertIn(b"500", body)
        self.assertRaises(ValueError, json.loads, body)
        self.platform.control({"http500": False})
        self.assertNotEqual(self.value("PLC-1", "setpoint"), 77.0)
        entry = self.platform.requests(reqCode="writeVariantById")[-1]
        self.assertEqual(entry["faults"], ["http500"])
        self.assertFalse(entry["applied"])

    def test_http500_status_and_body_can_be_chosen_and_applied(self):
        self.platform.control({"http500": {"status": 503, "body": '{"success":true}',
                                           "apply": True}})
        status, _, body = self.platform.post_raw(encode_form({
            "reqCode": "writeVariantById", "sessionid": self.session,
            "id": self.key("PLC-1", "setpoint"), "projectId": "P1001", "value": "77"}))
        self.assertEqual((status, body), (503, b'{"success":true}'))
        self.platform.control({"http500": False})
        self.assertEqual(self.value("PLC-1", "setpoint"), 77.0)

    def test_empty_reply(self):
        self.platform.control({"empty_reply": True})
        status, headers, body = self.login_raw()
        self.assertEqual((status, body, headers["Content-Length"]), (200, b"", "0"))

    def test_non_json_reply(self):
        self.platform.control({"non_json": True})
        status, _, body = self.login_raw()
        self.assertEqual(status, 200)
        self.assertTrue(body)
        self.assertRaises(ValueError, json.loads, body)

    def test_success_as_a_string(self):
        self.platform.control({"success_string": True})
        accepted = json.loads(self.login_raw()[2])
        refused = self.platform.opc(reqCode="login", account="demo", password="x")
        self.assertEqual((accepted["success"], refused["success"]), ("true", "false"))
        self.assertRegex(accepted["sessionid"], r"^[0-9A-F]{32}$")

    def test_delay_outlasts_the_client_but_the_write_takes_effect(self):
        self.platform.control({"delay": {"seconds": 1.5,
                                         "reqCodes": ["writeVariantById"]}})
        started = time.monotonic()
        with self.assertRaises(socket.timeout):
            self.platform.post_raw(encode_form({
                "reqCode": "writeVariantById", "sessionid": self.session,
                "id": self.key("PLC-1", "setpoint"), "projectId": "P1001",
                "value": "66"}), timeout=0.4)
        self.assertLess(time.monotonic() - started, 1.2)
        self.assertEqual(self.value("PLC-1", "setpoint"), 66.0, "other reqCodes not delayed")
        entry = self.platform.requests(reqCode="writeVariantById")[-1]
        self.assertEqual(entry["faults"], ["delay:1.5"])

    def test_delayed_reply_arrives_late(self):
        self.platform.control({"delay": 0.5})
        started = time.monotonic()
        status, _, body = self.login_raw()
        self.assertGreaterEqual(time.monotonic() - started, 0.5)
        self.assertIs(json.loads(body)["success"], True)

    def test_refuse_by_not_listening_and_resume(self):
        self.platform.control({"refuse": "listen"})
        with self.assertRaises(ConnectionRefusedError):
            self.login_raw()
        self.assertEqual(self.platform.control()["faults"]["switches"]["refuse"]["mode"],
                         "listen")
        self.platform.control({"refuse": "off"})
        self.assertEqual(self.login_raw()[0], 200)

    def test_timed_refusal_ends_by_itself(self):
        self.platform.control({"refuse": {"mode": "listen", "for": 0.5}})
        with self.assertRaises(ConnectionRefusedError):
            self.login_raw()
        time.sleep(0.8)
        self.assertEqual(self.login_raw()[0], 200)

    def test_refuse_by_closing_or_resetting(self):
        self.platform.control({"refuse": "close"})
        with self.assertRaises(http.client.RemoteDisconnected):
            self.login_raw()
        self.platform.control({"refuse": "reset"})
        with self.assertRaises(ConnectionResetError):
            self.login_raw()
        modes = [e["faults"] for e in self.platform.requests(reqCode="login")]
        self.assertEqual(modes, [["refuse:close"], ["refuse:reset"]])

    def test_scope_and_count(self):
        self.platform.control({"http500": {"reqCodes": ["queryVariantValueById"],
                                           "count": 2}})
        self.assertEqual(self.login_raw()[0], 200)
        body = encode_form({"reqCode": "queryVariantValueById", "sessionid": self.session,
                            "variants": ";D2001:V30001,"})
        statuses = [self.platform.post_raw(body)[0] for _ in range(3)]
        self.assertEqual(statuses, [500, 500, 200])
        self.assertNotIn("http500", self.platform.control()["faults"]["switches"])

    def test_canned_replies_come_once_in_order(self):
        self.platform.control({"canned": [
            {"reqCode": "login", "body": '{"success":1,"sessionid":77}'},
            {"reqCode": "login", "body": "{}", "status": 202}]})
        self.assertEqual(self.login_raw()[2], b'{"success":1,"sessionid":77}')
        status, _, body = self.login_raw()
        self.assertEqual((status, body), (202, b"{}"))
        self.assertIs(json.loads(self.login_raw()[2])["success"], True)

    def test_unsized_canned_reply_ends_with_the_connection(self):
        self.platform.control({"canned": {"reqCode": "login", "body": '{"success":1}',
                                          "unsized": True}})
        _, headers, body = self.login_raw()
        self.assertNotIn("Content-Length", headers)
        self.assertEqual(body, b'{"success":1}')

    def test_reset_switches_everything_off(self):
        self.platform.control({"http500": True, "delay": 3, "success_string": True,
                               "numeric_session_id": True, "session_lifetime": 1,
                               "canned": {"body": "x"}})
        state = self.platform.control({"reset": True})
        self.assertEqual(state["faults"], {"switches": {}, "canned": []})
        self.assertEqual(state["sessions"]["lifetime"], 1800)
        reply = json.loads(self.login_raw()[2])
        self.assertIsInstance(reply["sessionid"], str)

    def test_bad_commands_are_refused_with_400(self):
        for commands in ({"no_such": 1}, {"refuse": "sometimes"}, {"delay": -1},
                         {"http500": {"colour": "red"}}, {"hold": {"D1:V1": 1}},
                         {"http500": {"reqCodes": "login"}}, [1, 2]):
            with self.subTest(commands=commands):
                status, reply = self.platform.control_status(commands)
                self.assertEqual(status, 400)
                self.assertIn("error", reply)


class HttpTest(PlatformCase):

    def test_other_paths_and_methods(self):
        status, _, body = self.platform.request("GET", "/opc.do")
        self.assertEqual(status, 405)
        self.assertIs(json.loads(body)["success"], False)
        self.assertEqual(self.platform.request("POST", "/other.do", b"reqCode=login")[0], 404)
        for body in (b"reqCode=dance", b"account=demo&password=demo123", b""):
            with self.subTest(body=body):
                reply = json.loads(self.platform.post_raw(body)[2])
                self.assertEqual(reply, {"success": False, "msg": "未知的请求类型"})

    def test_chunked_body(self):
        connection = self.platform.connection()
        body = encode_form({"reqCode": "login", "account": "demo", "password": "demo123"})
        connection.request("POST", "/opc.do", body=iter([body[:7], body[7:]]),
                           headers={"Content-Type": "application/x-www-form-urlencoded"},
                           encode_chunked=True)
        reply = json.loads(connection.getresponse().read())
        connection.close()
        self.assertIs(reply["success"], True)

    def test_request_log_filters(self):
        for _ in range(3):
            self.platform.login()
        self.platform.opc(reqCode="queryDeviceTree", sessionid=self.session)
        everything = self.platform.requests()
        self.assertEqual([e["reqCode"] for e in everything],
                         ["login"] * 3 + ["queryDeviceTree"])
        self.assertEqual(len(self.platform.requests(reqCode="login", limit=2)), 2)
        since = everything[1]["seq"]
        self.assertEqual([e["seq"] for e in self.platform.requests(since=since)],
                         [e["seq"] for e in everything[2:]])
        first = everything[0]
        self.assertEqual(first["fields"]["password"], "demo123")
        self.assertEqual(first["status"], 200)
        self.assertIs(json.loads(first["reply"])["success"], True)
        self.assertEqual(first["raw_body"], "reqCode=login&account=demo&password=demo123")
        self.platform.request("DELETE", "/_control/requests")
        self.assertEqual(self.platform.requests(), [])

    def test_stdout_logs_requests_with_the_password_masked(self):
        self.platform.login()
        deadline = time.monotonic() + 5
        while "password=***" not in self.platform.output() and time.monotonic() < deadline:
            time.sleep(0.05)
        output = self.platform.output()
        self.assertRegex(output, r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} #\d+ 127\.0\.0\.1 "
                                 r"POST /opc\.do reqCode=login account=demo password=\*\*\* "
                                 r"-> 200 \{")
        self.assertNotIn("demo123", output.split("demo account")[1].split("\n", 1)[1])

    def test_control_is_also_served_on_the_platform_port(self):
        status, _, body = self.platform.request("GET", "/_control")
        self.assertEqual(status, 200)
        self.assertEqual(json.loads(body)["endpoints"]["port"], self.platform.port)


class DeterminismAndOptionsTest(unittest.TestCase):
    """Command-line fault options, and equal seeds giving equal values."""

    def test_same_seed_same_values_and_command_line_faults(self):
        arguments = ("--freeze-clock", "--seed", "99")
        with StandInProcess(*arguments) as first, \
                StandInProcess(*arguments, "--success-string",
                               "--fault-reqcode", "login") as second:
            self.assertEqual(first.values(), second.values())
            first.control({"clock": {"advance": 17}})
            second.control({"clock": {"advance": 17}})
            self.assertEqual(first.values(), second.values())
            reply = second.opc(reqCode="login", account="demo", password="demo123")
            self.assertEqual(reply["success"], "true")
            tree = second.opc(reqCode="queryDeviceTree", sessionid=reply["sessionid"])
            self.assertIs(tree["success"], True, "fault limited to login")


class ProcessTest(unittest.TestCase):

    def test_first_line_ready_file_and_clean_exit_on_sigint(self):
        platform = StandInProcess("--freeze-clock").start()
        try:
            first_line = platform.output().splitlines()[0]
            self.assertEqual(first_line, "LISTENING http://127.0.0.1:%d" % platform.port)
            self.assertEqual(platform.info["url"],
                             "http://127.0.0.1:%d/opc.do" % platform.port)
            self.assertEqual(platform.info["pid"], platform.process.pid)
        finally:
            code = platform.stop(signal.SIGINT)
        try:
            self.assertEqual(code, 0)
            self.assertFalse(os.path.exists(platform.ready_path))
            self.assertTrue(platform.output().rstrip().endswith("stopped"))
        finally:
            platform.close()

    def test_busy_port_is_reported(self):
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen(1)
            port = taken.getsockname()[1]
            result = subprocess.run(
                ["python3", os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                         "platform_main.py"), "--port", str(port)],
                capture_output=True, timeout=20)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"cannot listen", result.stderr)


class HttpsTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.platform = StandInProcess("--https", "--freeze-clock").start()

    @classmethod
    def tearDownClass(cls):
        cls.platform.close()

    def test_announces_https_and_the_ca_file(self):
        info = self.platform.info
        self.assertEqual(info["url"], "https://localhost:%d/opc.do" % info["port"])
        self.assertTrue(os.path.isfile(info["tls"]["ca_file"]))
        self.assertTrue(self.platform.output().startswith(
            "LISTENING https://localhost:%d\n" % info["port"]))

    def test_trusting_the_ca_file_gives_a_verified_exchange(self):
        request = urllib.request.Request(
            self.platform.info["url"],
            data=encode_form({"reqCode": "login", "account": "demo", "password": "demo123"}))
        with urllib.request.urlopen(request, timeout=10,
                                    context=self.platform.ssl_context()) as response:
            reply = json.loads(response.read())
        self.assertIs(reply["success"], True)
        self.assertEqual(self.platform.requests(reqCode="login")[-1]["scheme"], "https")

    def test_certificate_names_localhost_only_and_is_issued_by_the_ca(self):
        context = self.platform.ssl_context()
        with socket.create_connection(("127.0.0.1", self.platform.port), timeout=10) as raw:
            with context.wrap_socket(raw, server_hostname="localhost") as secured:
                certificate = secured.getpeercert()
        self.assertEqual(certificate["subjectAltName"], (("DNS", "localhost"),))
        self.assertEqual(dict(x[0] for x in certificate["subject"])["commonName"], "localhost")
        issuer = dict(x[0] for x in certificate["issuer"])
        self.assertIn("CA", issuer["commonName"])

    def test_untrusted_without_the_ca_file_or_with_the_unrelated_one(self):
        with self.assertRaises(ssl.SSLCertVerificationError):
            self.platform.post_raw(b"reqCode=login", trust=False)
        context = ssl.create_default_context(
            cafile=self.platform.info["tls"]["other_ca_file"])
        connection = http.client.HTTPSConnection("localhost", self.platform.port,
                                                 timeout=10, context=context)
        with self.assertRaises(ssl.SSLCertVerificationError):
            connection.request("POST", "/opc.do", body=b"reqCode=login")
        connection.close()

    def test_wrong_host_name_fails_verification(self):
        with self.assertRaises(ssl.SSLCertVerificationError) as caught:
            self.platform.post_raw(b"reqCode=login", host="127.0.0.1")
        self.assertIn("mismatch", str(caught.exception))

    def test_plain_http_to_the_https_port_gets_no_reply(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.platform.port, timeout=5)
        with self.assertRaises((http.client.RemoteDisconnected, ConnectionResetError,
                                http.client.BadStatusLine)):
            connection.request("POST", "/opc.do", body=b"reqCode=login")
            connection.getresponse()
        connection.close()
        self.assertIs(self.platform.opc(reqCode="login", account="demo",
                                        password="demo123")["success"], True)

    def test_certificates_are_removed_at_exit(self):
        platform = StandInProcess("--https").start()
        directory = os.path.dirname(platform.info["tls"]["ca_file"])
        self.assertTrue(os.path.isdir(directory))
        self.assertEqual(platform.stop(), 0)
        platform.close()
        self.assertFalse(os.path.exists(directory))


if __name__ == "__main__":
    unittest.main()
