"""The platform's accounts, projects, devices and variables, and the
look-ups the operations need (which projects an account sees, which
variable a device id and variant id name)."""

import simulation


class Variable:
    """One variable as listed under a device.

    `device_id` is the id of the device the variable belongs to; it is what
    the variable tree sends as the element's "deviceId". A variable listed
    under a second device (a summary device mirroring another device's point)
    appears there with its own device id, so the element's "deviceId"
    differs from the device it is listed under."""

    def __init__(self, variant_id, name, type_name, device_id, behaviour,
                 validity=None, writable=True):
        self.variant_id = variant_id
        self.name = name
        self.type_name = type_name
        self.device_id = device_id
        self.behaviour = behaviour
        self.validity = validity or simulation.AlwaysValid()
        self.writable = writable
        self.key = "%s:%s" % (device_id, variant_id)


class Device:
    def __init__(self, device_id, name, serlnum, online=True):
        self.device_id = device_id
        self.name = name
        self.serlnum = serlnum
        self.online = online
        self.variables = []      # in the platform's order


class Project:
    def __init__(self, project_id, name):
        self.project_id = project_id
        self.name = name
        self.devices = []        # in the platform's order


class Account:
    def __init__(self, name, password, dept_id, project_ids, enabled=True):
        self.name = name
        self.password = password
        self.dept_id = dept_id
        self.project_ids = list(project_ids)
        self.enabled = enabled


class Catalog:
    def __init__(self, accounts, projects):
        self.accounts = {a.name: a for a in accounts}
        self.projects = list(projects)
        self._project_by_id = {p.project_id: p for p in self.projects}
        self._device_by_id = {}
        self._project_of_device = {}
        self._variable_by_ids = {}   # (device id, variant id) -> variable
        for project in self.projects:
            for device in project.devices:
                self._device_by_id[device.device_id] = device
                self._project_of_device[device.device_id] = project
                for variable in device.variables:
                    # The first of a repeated id, as a walk of the list finds it.
                    self._variable_by_ids.setdefault((device.device_id, variable.variant_id), variable)

    def account(self, name):
        return self.accounts.get(name)

    def projects_of(self, account):
        """The account's projects, in the platform's order."""
        wanted = set(account.project_ids)
        return [p for p in self.projects if p.project_id in wanted]

    def device(self, device_id):
        return self._device_by_id.get(device_id)

    def project_of(self, device):
        return self._project_of_device.get(device.device_id)

    def account_sees(self, account, device):
        project = self.project_of(device)
        return project is not None and project.project_id in account.project_ids

    def variable(self, device_id, variant_id):
        """The device and the variable a device id and a variant id name, or
        (None, None). A mirrored point is found under the device that lists
        it as well as under the device it belongs to."""
        variable = self._variable_by_ids.get((device_id, variant_id))
        if variable is None:
            return None, None
        return self._device_by_id[device_id], variable

    def owner_of(self, variable):
        """The device a variable belongs to (for a mirrored point, not the
        device that lists it)."""
        return self.device(variable.device_id)

    def all_variables(self):
        for project in self.projects:
            for device in project.devices:
                for variable in device.variables:
                    yield project, device, variable
