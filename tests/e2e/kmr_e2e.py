"""End-to-end test support: the real program on a virtual desktop, driven by accessible names.

A Desktop is a private X server (Xvfb) with a window manager (openbox), a private D-Bus session and
the accessibility bus (at-spi2-core). DemoServers makes a main and a reserve embedded server in a
temporary folder from the schema scripts. Program starts Admin_KMR there with Qt's AT-SPI bridge on,
and finds, clicks and types into its controls by their accessible names, as a screen reader or a
person would see them.

Everything runs with the system Python (/usr/bin/python3), which has pyatspi. Nothing here waits
without a limit: every wait ends with a failure that names what was awaited.
"""

import glob
import os
import resource
import shutil
import signal
import subprocess
import tempfile
import time

DEFAULT_TIMEOUT = 15.0


class E2EError(AssertionError):
    pass


def wait_until(condition, what, timeout=DEFAULT_TIMEOUT, interval=0.1):
    """Polls condition() until it returns something true, and returns that; fails after timeout."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                return value
        except Exception as error:  # the tree may change under a query; try again
            last_error = error
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise E2EError(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


def _free_display(first):
    for number in range(first, first + 200):
        if not os.path.exists(f"/tmp/.X{number}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{number}"):
            return number
    raise E2EError("no free X display number")


class Desktop:
    """Xvfb + openbox + a private D-Bus session with the accessibility bus.

    The display number is KMR_E2E_DISPLAY when set, else the first free one from 140 on. The
    environment of this process is pointed at the desktop (DISPLAY, DBUS_SESSION_BUS_ADDRESS), so
    pyatspi, imported afterwards, talks to this desktop's accessibility bus.
    """

    def __init__(self, width=1280, height=1024, window_manager=True):
        self.width, self.height = width, height
        self.window_manager = window_manager
        self.processes = []
        self.display = None
        self.env = None
        self._home = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def _spawn(self, args, **kwargs):
        process = subprocess.Popen(args, env=self.env, stdin=subprocess.DEVNULL, start_new_session=True, **kwargs)
        self.processes.append(process)
        return process

    def start(self):
        requested = os.environ.get("KMR_E2E_DISPLAY")
        for attempt in range(5):
            number = int(requested) if requested else _free_display(140 + attempt * 7)
            xvfb = subprocess.Popen(
                ["Xvfb", f":{number}", "-screen", "0", f"{self.width}x{self.height}x24", "-nolisten", "tcp",
                 "-noreset"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                start_new_session=True)
            try:
                wait_until(lambda: os.path.exists(f"/tmp/.X11-unix/X{number}") or xvfb.poll() is not None,
                           "the X server", timeout=10)
            except E2EError:
                xvfb.kill()
                raise
            if xvfb.poll() is None:
                break
            if requested:
                raise E2EError(f"Xvfb could not start on :{number}")
        else:
            raise E2EError("Xvfb did not start")
        self.processes.append(xvfb)
        self.display = f":{number}"

        self._home = tempfile.mkdtemp(prefix="kmr-e2e-home-")
        env = dict(os.environ)
        for key in ("DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                    "SESSION_MANAGER"):
            env.pop(key, None)
        env.update(DISPLAY=self.display, XDG_RUNTIME_DIR=self._home, HOME=self._home,
                   NO_AT_BRIDGE="0", GTK_MODULES="")
        self.env = env

        dbus = self._spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        address = dbus.stdout.readline().strip()
        if not address:
            raise E2EError("the D-Bus session did not start")
        env["DBUS_SESSION_BUS_ADDRESS"] = address
        # The bus launcher publishes the accessibility bus on the session bus (org.a11y.Bus) and
        # starts the registry on it.
        self._spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.window_manager:
            self._spawn(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_until(self._window_manager_running, "the window manager", timeout=10)

        os.environ["DISPLAY"] = self.display
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)

    def _window_manager_running(self):
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                             capture_output=True, text=True)
        return "window id" in out.stdout

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                try:
                    os.killpg(process.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for process in reversed(self.processes):
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
        self.processes.clear()
        if self._home:
            shutil.rmtree(self._home, ignore_errors=True)
            self._home = None

    def screenshot(self, path):
        """A picture of the whole screen (PNG); returns the path or None when it could not be taken."""
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        result = subprocess.run(["import", "-display", self.display, "-window", "root", path], env=self.env,
                                capture_output=True)
        return path if result.returncode == 0 else None

    def window_ids(self, title):
        """The X windows whose caption is exactly title (as the window manager knows them)."""
        result = subprocess.run(["xdotool", "search", "--name", f"^{title}$"], env=self.env, capture_output=True,
                                text=True)
        return result.stdout.split()

    def xprop(self, window, prop):
        """A property of an X window as xprop prints it ("" when unset)."""
        result = subprocess.run(["xprop", "-id", str(window), prop], env=self.env, capture_output=True, text=True)
        return result.stdout if "not found" not in result.stdout else ""

    def viewable(self, window):
        result = subprocess.run(["xwininfo", "-id", str(window)], env=self.env, capture_output=True, text=True)
        return "IsViewable" in result.stdout

    def xdotool(self, *args):
        result = subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True, text=True)
        if result.returncode != 0:
            raise E2EError(f"xdotool {' '.join(map(str, args))}: {result.stderr.strip()}")
        return result.stdout


class DemoServers:
    """A main server (SRV 0, 1, 0) and a reserve server (1, 0, 0) with the demo data, and mvtu.ini.

    Both are made from the repository's schema scripts in a temporary folder, which is also the
    program's working directory. Two servers with auto-connect unless told otherwise.
    """

    MAIN, RESERVE = "SERVER_OIK", "SERVER_OIK_R"
    USER, PASSWORD = "USER_OIK", "QUILLMOSS"

    def __init__(self, bin_dir, source_dir, two_servers=True, auto_connect=True):
        self.bin_dir, self.source_dir = bin_dir, source_dir
        self.dir = tempfile.mkdtemp(prefix="kmr-e2e-servers-")
        schema = os.path.join(source_dir, "schema")
        main = self.db_file(self.MAIN)
        self._tool("ocisqlite-admin", "create", main, "--user", self.USER, "--password", self.PASSWORD)
        for script in ("kmr_schema.sql", "demo_data.sql"):
            self.sql(self.MAIN, "@" + os.path.join(schema, script))
        if two_servers:
            for suffix in ("", ".locks"):
                shutil.copyfile(main + suffix, self.db_file(self.RESERVE) + suffix)
            self.sql(self.RESERVE, "@" + os.path.join(schema, "srv_reserve.sql"))
        self.sql(self.MAIN, "@" + os.path.join(schema, "srv_main.sql"))
        timer = "AutoConnect=1" if auto_connect else "AutoConnect=0"
        lines = ["[Mode]", f"N_Server={2 if two_servers else 1}", "C_Server=0", "",
                 "[Alias]", f"SERVER_NAME={self.MAIN}", f"USER_NAME={self.USER}", f"PASSWORD_={self.PASSWORD}", "",
                 "[Timer]", timer, "",
                 "[Alias_1]", f"SERVER_NAME={self.RESERVE}", f"USER_NAME={self.USER}",
                 f"PASSWORD_={self.PASSWORD}", "", "[Timer_1]", timer, ""]
        with open(os.path.join(self.dir, "mvtu.ini"), "w", encoding="cp1251", newline="\r\n") as ini:
            ini.write("\n".join(lines))

    def ocidll(self):
        """The program parameter that names the embedded client library (after the sign-in)."""
        return "OCIDLL=" + os.path.join(self.bin_dir, "libocisqlite.so")

    def db_file(self, server):
        return os.path.join(self.dir, server.lower() + ".db")

    def _tool(self, name, *args):
        env = dict(os.environ, OCISQLITE_DATA=self.dir)
        env.pop("ORACLE_HOME", None)
        result = subprocess.run([os.path.join(self.bin_dir, name), *args], env=env, cwd=self.dir,
                                capture_output=True, text=True)
        if result.returncode != 0:
            raise E2EError(f"{name} {' '.join(args)} failed:\n{result.stdout}{result.stderr}")
        return result.stdout

    def sql(self, server, statement_or_script):
        """Runs a statement or an @script on a server and commits; returns what ocisql printed."""
        source = [statement_or_script] if statement_or_script.startswith("@") else ["-c", statement_or_script]
        return self._tool("ocisql", f"{self.USER}/{self.PASSWORD}@{server}",
                          "OCIDLL=" + os.path.join(self.bin_dir, "libocisqlite.so"), *source)

    def rows(self, server, select):
        """The rows of a select, each a list of column texts (the heading line dropped)."""
        lines = self.sql(server, select).splitlines()
        return [line.split("\t") for line in lines[1:] if line]

    def down(self, server):
        self._tool("ocisqlite-admin", "down", self.db_file(server))

    def up(self, server):
        self._tool("ocisqlite-admin", "up", self.db_file(server))

    def remove(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class Program:
    """Admin_KMR on a Desktop over DemoServers, reached through the accessibility bus.

    Without ORACLE_HOME the program finds the embedded client beside itself, so args may be empty
    (the sign-in dialog opens); a sign-in, when given, comes first (servers.ocidll() may follow).
    """

    def __init__(self, desktop, servers, args=(), name="Admin_KMR"):
        self.desktop, self.servers, self.name = desktop, servers, name
        env = dict(desktop.env, OCISQLITE_DATA=servers.dir, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QT_ACCESSIBILITY="1")
        for key in ("ORACLE_HOME", "LD_LIBRARY_PATH"):
            env.pop(key, None)
        self.log_path = os.path.join(servers.dir, "program.log")
        self._log = open(self.log_path, "w")
        self.binary = os.path.join(servers.bin_dir, name)
        # A crash leaves a core in the server folder (where the system allows), read by log().
        self.process = subprocess.Popen(
            [self.binary, *args],
            cwd=servers.dir, env=env, stdin=subprocess.DEVNULL, stdout=self._log, stderr=subprocess.STDOUT,
            start_new_session=True, preexec_fn=lambda: resource.setrlimit(
                resource.RLIMIT_CORE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY)))
        import pyatspi  # after the desktop has set DBUS_SESSION_BUS_ADDRESS

        self.atspi = pyatspi
        self.app = wait_until(self._find_application, f"{name} on the accessibility bus")

    def _find_application(self):
        if self.process.poll() is not None:
            raise E2EError(f"{self.name} ended with {self.process.returncode}:\n{self.log()}")
        desktop = self.atspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            if app is not None and app.name == self.name:
                return app
        return None

    def log(self):
        """What the program wrote; once it has ended, how it ended and, after a crash, where."""
        self._log.flush()
        with open(self.log_path, errors="replace") as log:
            text = log.read()
        code = self.process.poll()
        if code is None:
            return text
        if code < 0:
            text += f"\n(the program was ended by signal {signal.Signals(-code).name})\n"
            text += self._backtrace()
        else:
            text += f"\n(the program ended with exit status {code})\n"
        return text

    def _backtrace(self):
        cores = sorted(glob.glob(os.path.join(self.servers.dir, "core*")), key=os.path.getmtime)
        if not cores or not shutil.which("gdb"):
            return "(no core file to read a backtrace from)\n"
        try:
            result = subprocess.run(["gdb", "-batch", "-ex", "thread apply all bt", self.binary, cores[-1]],
                                    stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
        except subprocess.TimeoutExpired:
            return f"(gdb did not read {cores[-1]} within 120 s)\n"
        return result.stdout

    def running(self):
        return self.process.poll() is None

    def stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self._log.close()

    # -- finding --------------------------------------------------------------------------------

    def windows(self):
        return [self.app.getChildAtIndex(i) for i in range(self.app.childCount)]

    def window(self, title, timeout=DEFAULT_TIMEOUT):
        """A top-level window of the program by its caption."""
        return wait_until(lambda: next((w for w in self.windows() if w is not None and w.name == title), None),
                          f'window "{title}"', timeout)

    def has_window(self, title):
        try:
            return any(w is not None and w.name == title and self.showing(w) for w in self.windows())
        except Exception:
            return False

    def showing(self, node):
        return node.getState().contains(self.atspi.STATE_SHOWING)

    def enabled(self, node):
        return node.getState().contains(self.atspi.STATE_ENABLED)

    def checked(self, node):
        return node.getState().contains(self.atspi.STATE_CHECKED)

    def role(self, node):
        return node.getRoleName()

    def all(self, predicate, root=None):
        found = []

        def walk(node, depth):
            if node is None or depth > 40:
                return
            if predicate(node):
                found.append(node)
            for i in range(node.childCount):
                walk(node.getChildAtIndex(i), depth + 1)

        walk(root or self.app, 0)
        return found

    def find_all(self, name, role=None, root=None):
        return self.all(lambda n: n.name == name and (role is None or n.getRoleName() == role), root)

    def find(self, name, role=None, root=None, timeout=DEFAULT_TIMEOUT, showing=True):
        """The first control with this accessible name (and role), waiting for it to appear."""
        what = f'"{name}"' + (f" ({role})" if role else "")

        def look():
            for node in self.find_all(name, role, root):
                if not showing or self.showing(node):
                    return node
            return None

        return wait_until(look, what, timeout)

    def dump(self, root=None):
        """The accessible tree as text, for failure messages."""
        lines = []

        def walk(node, depth):
            if node is None or depth > 40:
                return
            states = node.getState()
            flags = "".join(flag for flag, state in (("s", self.atspi.STATE_SHOWING), ("e", self.atspi.STATE_ENABLED),
                                                      ("c", self.atspi.STATE_CHECKED)) if states.contains(state))
            lines.append(f"{'  ' * depth}{node.getRoleName()} \"{node.name}\" [{flags}]")
            for i in range(node.childCount):
                walk(node.getChildAtIndex(i), depth + 1)

        walk(root or self.app, 0)
        return "\n".join(lines)

    # -- acting ---------------------------------------------------------------------------------

    def center(self, node):
        box = node.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        if box.width <= 0 or box.height <= 0:
            raise E2EError(f'"{node.name}" has no place on the screen')
        return box.x + box.width // 2, box.y + box.height // 2

    def click(self, node):
        """A real mouse click in the middle of the control."""
        x, y = self.center(node)
        self.desktop.xdotool("mousemove", "--sync", x, y)
        self.desktop.xdotool("click", "1")

    def action(self, node, name=None):
        """Runs the control's accessible action (the first one, or the one named)."""
        action = node.queryAction()
        for i in range(action.nActions):
            if name is None or action.getName(i) == name:
                action.doAction(i)
                return
        raise E2EError(f'"{node.name}" has no action {name}')

    def key(self, *keys):
        """Keys to the focused window, e.g. key("Return"), key("ctrl+a")."""
        self.desktop.xdotool("key", "--clearmodifiers", *keys)

    def type(self, text):
        """Types text into the focused control, as keystrokes."""
        self.desktop.xdotool("type", "--delay", "20", "--", text)

    def text(self, node):
        try:
            t = node.queryText()
            return t.getText(0, t.characterCount)
        except NotImplementedError:
            return node.name

    def set_text(self, node, text):
        """Replaces the contents of an edit box through its editable-text interface."""
        node.queryEditableText().setTextContents(text)

    def focus(self, node):
        node.queryComponent().grabFocus()
