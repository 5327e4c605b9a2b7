"""The accounts, projects, devices and variables the stand-in platform
starts with. README.md lists them for people writing tests and demos."""

from catalog import Account, Catalog, Device, Project, Variable
from simulation import (Counter, Fixed, Flapping, Noise, NeverValid,
                        TextCycle, Toggle, Wave)

DEMO_ACCOUNT = "demo"
DEMO_PASSWORD = "demo123"


class _Ids:
    """Hands out the platform's ids in creation order."""

    def __init__(self):
        self._next = {"P": 1001, "D": 2001, "V": 30001}

    def take(self, prefix):
        number = self._next[prefix]
        self._next[prefix] += 1
        return "%s%d" % (prefix, number)


def _device(ids, project, name, serlnum, points, online=True):
    """Adds a device with its points, given as (name, type, behaviour) or
    (name, type, behaviour, options) with options for Variable."""
    device = Device(ids.take("D"), name, serlnum, online=online)
    for point in points:
        name_, type_name, behaviour = point[:3]
        options = point[3] if len(point) > 3 else {}
        device.variables.append(Variable(ids.take("V"), name_, type_name,
                                         device.device_id, behaviour, **options))
    project.devices.append(device)
    return device


def _mirror(device, original, name):
    """Lists another device's point under device, keeping the original's id,
    device id, type and behaviour."""
    device.variables.append(Variable(
        original.variant_id, name, original.type_name, original.device_id,
        original.behaviour, validity=original.validity,
        writable=original.writable))


def _large_plant(ids, variables):
    """A project of the given number of points, 100 per device, every one a
    counter that moves once a second: for measurements with many variables."""
    plant = Project(ids.take("P"), "Large Plant")
    for line in range((variables + 99) // 100):
        count = min(100, variables - line * 100)
        _device(ids, plant, "Line %d" % (line + 1), "SN-LINE-%05d" % (line + 1), [
            ("point_%02d" % n, "uint32", Counter(line * 100 + n)) for n in range(count)
        ])
    return plant


def build_catalog(plant_size=0):
    """The seeded catalog; plant_size > 0 adds the account "plant" (password
    "plant123") with a project of that many points."""
    ids = _Ids()

    # P1001: one device with a point of every type name, and a meter.
    plant = Project(ids.take("P"), "Demo Plant")
    _device(ids, plant, "PLC-1", "SN-PLC-0001", [
        ("running", "bool", Toggle(5)),
        ("level_i8", "int8", Wave(0, 100, period=40, decimals=0)),
        ("cycles_u8", "uint8", Counter(250)),
        ("offset_i16", "int16", Wave(0, 3000, period=30, decimals=0)),
        ("batches_u16", "uint16", Counter(65530)),
        ("events_i32", "int32", Counter(2147483640)),
        ("pulses_u32", "uint32", Counter(4294967290)),
        ("total_long", "long", Counter(9007199254740990)),
        ("temperature", "float32", Wave(20.0, 5.0, period=60)),
        ("pressure", "double", Noise(101.325, 0.5)),
        ("code_bcd", "bcd", Counter(9990)),
        ("code_bcd32", "bcd32", Counter(99999990)),
        ("code_bcd64", "bcd64", Counter(9999999999999990)),
        ("status_text", "string",
         TextCycle(["idle", "运行中", "停机", "alarm \U0001F514"])),
        ("setpoint", "float32", Fixed(50.0)),
        ("serial_no", "uint32", Fixed(20240001), {"writable": False}),
        ("spare_input", "int16", Fixed(0), {"validity": NeverValid()}),
        ("link_quality", "uint8", Wave(80, 15, period=20, decimals=0),
         {"validity": Flapping(20, 10)}),
    ])
    _device(ids, plant, "Meter 2", "SN-MTR-0002", [
        ("Flow Rate", "float32", Wave(12.5, 2.5, period=45)),
        ("energy_kwh", "double", Counter(1000, step=0.5, period=1.0)),
        ("alarm", "bool", Toggle(11)),
    ])

    # P1002: a Chinese pump station with an offline device and a summary
    # device that mirrors a point of another device.
    station = Project(ids.take("P"), "一号泵站")
    pump = _device(ids, station, "进水泵", "进水-001", [
        ("运行状态", "bool", Toggle(8)),
        ("电流", "float32", Wave(35.0, 4.0, period=50)),
        ("频率设定", "float32", Fixed(45.0)),
        ("累计运行时间", "uint32", Counter(3600)),
        ("故障代码", "int16", Fixed(0)),
        ("状态描述", "string", TextCycle(["正常运行", "低负荷", "待机"], period=9)),
    ])
    _device(ids, station, "出水阀门", "阀门-002", [
        ("开度", "uint8", Wave(50, 40, period=36, decimals=0)),
        ("阀门开关", "bool", Fixed(True)),
    ])
    _device(ids, station, "备用泵", "备用-003", [
        ("电流", "float32", Wave(30.0, 3.0)),
        ("运行状态", "bool", Fixed(False)),
    ], online=False)
    summary = _device(ids, station, "汇总", "汇总-004", [
        ("总流量", "double", Counter(5000, step=1.25, period=1.0)),
    ])
    _mirror(summary, pump.variables[1], "进水泵电流")

    # P1003: a project without devices.
    empty = Project(ids.take("P"), "空项目")

    # P1004: the second account's own station.
    second = Project(ids.take("P"), "二号泵站")
    _device(ids, second, "二号泵", "二号-001", [
        ("运行状态", "bool", Toggle(6)),
        ("电流", "float32", Wave(28.0, 3.0, period=40)),
        ("频率", "double", Wave(48.0, 1.5, period=25, decimals=3)),
        ("报警", "bool", Fixed(False), {"writable": False}),
    ])
    _device(ids, second, "水质仪", "水质-002", [
        ("pH值", "float32", Noise(7.2, 0.2, period=3, decimals=2)),
        ("浊度", "double", Noise(0.8, 0.3, period=3)),
        ("余氯", "float32", Wave(0.5, 0.1, period=30),
         {"validity": Flapping(15, 5)}),
    ])

    # P1005: many points, for value requests with long bodies.
    bulk = Project(ids.take("P"), "Bulk Test")
    for unit in range(1, 5):
        _device(ids, bulk, "Unit %d" % unit, "SN-BULK-%04d" % unit, [
            ("counter_%02d" % n, "uint16", Counter(n * 100, period=1.0 + n % 3))
            for n in range(1, 51)
        ])

    accounts = [
        Account(DEMO_ACCOUNT, DEMO_PASSWORD, "101",
                [plant.project_id, station.project_id, empty.project_id]),
        Account("张工", "zhang2024", "102",
                [station.project_id, second.project_id]),
        Account("bulk", "bulk123", "103", [bulk.project_id]),
        Account("locked", "locked123", "104", [plant.project_id], enabled=False),
        Account("王工", "a&b+c%d=e f密码", "105", [plant.project_id]),
    ]
    projects = [plant, station, empty, second, bulk]
    if plant_size > 0:
        large = _large_plant(ids, plant_size)
        accounts.append(Account("plant", "plant123", "105", [large.project_id]))
        projects.append(large)
    return Catalog(accounts, projects)
