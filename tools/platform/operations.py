"""The five operations of the "/opc.do" endpoint, told apart by the form
field reqCode. Each takes the decoded form and returns the JSON reply as a
dict plus a short English note for the log.

Every reply carries "success" (a JSON boolean) and "msg" (a Chinese text,
empty when there is nothing to say). Refused requests carry only those two.
"""

import value_types

MSG_OK = ""
MSG_LOGIN_OK = "登录成功"
MSG_BAD_LOGIN = "用户名或密码错误"
MSG_EMPTY_LOGIN = "用户名或密码不能为空"
MSG_DISABLED = "账号已停用"
MSG_SESSION = "会话已失效，请重新登录"
MSG_UNKNOWN_REQ = "未知的请求类型"
MSG_NO_VARIABLE = "变量不存在"
MSG_NO_ACCESS = "无权访问该设备"
MSG_WRONG_PROJECT = "项目与设备不匹配"
MSG_READ_ONLY = "变量只读，不能写入"
MSG_OFFLINE = "设备离线，无法写入"
MSG_NO_VALUE = "缺少参数value"
MSG_WRITE_OK = "写入成功"


def _refused(msg):
    return {"success": False, "msg": msg}


class Operations:
    def __init__(self, catalog, sessions, simulator):
        self.catalog = catalog
        self.sessions = sessions
        self.simulator = simulator
        # The last selection text asked for, parsed: the gateway asks the
        # same one every second.
        self._parsed_selection = (None, None, None)
        self._handlers = {
            "login": self.login,
            "queryDeviceTree": self.query_device_tree,
            "queryVariantTree": self.query_variant_tree,
            "queryVariantValueById": self.query_values,
            "writeVariantById": self.write_variant,
        }

    def handle(self, form):
        """(reply dict, note) for one decoded request."""
        req_code = form.get("reqCode")
        handler = self._handlers.get(req_code)
        if handler is None:
            return _refused(MSG_UNKNOWN_REQ), "unknown reqCode %r" % req_code
        if req_code == "login":
            return handler(form)
        account = self._session_account(form)
        if account is None:
            return _refused(MSG_SESSION), "no live session %r" % form.get("sessionid")
        return handler(form, account)

    def _session_account(self, form):
        name = self.sessions.account_of(form.get("sessionid"))
        return self.catalog.account(name) if name is not None else None

    # --- login ----------------------------------------------------------------

    def login(self, form):
        name, password = form.get("account"), form.get("password")
        if not name or not password:
            return _refused(MSG_EMPTY_LOGIN), "login without account or password"
        account = self.catalog.account(name)
        if account is None or account.password != password:
            return _refused(MSG_BAD_LOGIN), "login refused for %r" % name
        if not account.enabled:
            return _refused(MSG_DISABLED), "login refused, account %r disabled" % name
        session_id = self.sessions.open(account.name)
        reply = {"success": True, "msg": MSG_LOGIN_OK,
                 "sessionid": session_id, "deptid": account.dept_id}
        return reply, "login %r, session %s" % (name, session_id)

    # --- trees ----------------------------------------------------------------

    def query_device_tree(self, form, account):
        projects = []
        for project in self.catalog.projects_of(account):
            projects.append({
                "projectId": project.project_id,
                "projectName": project.name,
                "deviceList": [{"deviceId": d.device_id, "name": d.name,
                                "serlnum": d.serlnum} for d in project.devices],
            })
        reply = {"success": True, "msg": MSG_OK, "projectList": projects}
        return reply, "device tree of %r: %d projects" % (account.name, len(projects))

    def query_variant_tree(self, form, account):
        wanted = {pid for pid in form.get("projectIds").split(";") if pid}
        projects = []
        for project in self.catalog.projects_of(account):
            if project.project_id not in wanted:
                continue
            devices = []
            for device in project.devices:
                devices.append({
                    "deviceId": device.device_id,
                    "name": device.name,
                    "serlnum": device.serlnum,
                    "variantList": [{"deviceId": v.device_id,
                                     "variantId": v.variant_id,
                                     "name": v.name,
                                     "type": v.type_name}
                                    for v in device.variables],
                })
            projects.append({"projectId": project.project_id,
                             "projectName": project.name,
                             "deviceList": devices})
        reply = {"success": True, "msg": MSG_OK, "projectList": projects}
        return reply, "variable tree of %s" % [p["projectId"] for p in projects]

    # --- values -----------------------------------------------------------------

    def query_values(self, form, account):
        """The selection text is ";" device id ":" variant id "," ... for
        every device. The reply has one object per requested device the
        account can see (empty when no variable of it was asked for), with
        one member per known variable: its value, or null when it is not
        valid. Unknown ids are left out."""
        devices, wanted, variables = self._parse_selection(form.get("variants"), account)
        result = {device_id: {} for device_id in devices}
        online_of = {}
        sources = []
        for variable, owner in variables:
            online = online_of.get(owner.device_id)
            if online is None:
                online = online_of[owner.device_id] = self.simulator.device_online(owner)
            sources.append((variable, online))
        # All values of one reply are taken at one moment.
        for (device_id, variant_id), value in zip(wanted, self.simulator.current_many(sources)):
            result[device_id][variant_id] = value
        asked = len(wanted)
        reply = {"success": True, "msg": MSG_OK, "variants": result}
        return reply, "%d values of %d devices" % (asked, len(result))

    def _parse_selection(self, text, account):
        """(device ids in order, (device id, variant id) asked, (variable,
        owner device) asked) of a selection text the account may ask."""
        cached_text, cached_account, parsed = self._parsed_selection
        if cached_text == text and cached_account is account:
            return parsed
        devices = []
        wanted = []
        variables = []
        for segment in text.split(";"):
            if not segment:
                continue
            device_id, _, variant_ids = segment.partition(":")
            device = self.catalog.device(device_id)
            if device is None or not self.catalog.account_sees(account, device):
                continue
            if device_id not in devices:
                devices.append(device_id)
            for variant_id in variant_ids.split(","):
                if not variant_id:
                    continue
                _, variable = self.catalog.variable(device_id, variant_id)
                if variable is None:
                    continue
                wanted.append((device_id, variant_id))
                variables.append((variable, self.catalog.owner_of(variable) or device))
        parsed = (devices, wanted, variables)
        self._parsed_selection = (text, account, parsed)
        return parsed

    # --- write -------------------------------------------------------------------

    def write_variant(self, form, account):
        key = form.get("id")
        device_id, _, variant_id = key.partition(":")
        device, variable = self.catalog.variable(device_id, variant_id)
        if variable is None:
            return _refused(MSG_NO_VARIABLE), "write to unknown %r" % key
        if not self.catalog.account_sees(account, device):
            return _refused(MSG_NO_ACCESS), "write to %s not allowed for %r" % (key, account.name)
        project = self.catalog.project_of(device)
        if form.get("projectId") != project.project_id:
            return (_refused(MSG_WRONG_PROJECT),
                    "write to %s with project %r, device is in %s"
                    % (key, form.get("projectId"), project.project_id))
        if not variable.writable:
            return _refused(MSG_READ_ONLY), "write to read-only %s" % key
        owner = self.catalog.owner_of(variable) or device
        if not self.simulator.device_online(owner):
            return _refused(MSG_OFFLINE), "write to %s of offline device" % key
        if not form.has("value"):
            return _refused(MSG_NO_VALUE), "write to %s without value" % key
        text = form.get("value")
        try:
            value = value_types.parse_written(variable.type_name, text)
        except value_types.WriteRejected as rejected:
            return _refused(str(rejected)), "write to %s refused: %r" % (key, text)
        self.simulator.write(variable, value)
        return ({"success": True, "msg": MSG_WRITE_OK},
                "write %s = %r (from %r)" % (key, value, text))
