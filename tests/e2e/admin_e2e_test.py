#!/usr/bin/python3
"""Admin_KMR as an administrator meets it, on a virtual desktop with a window manager, driven by the
accessible names of its controls: the sign-in (refused, then accepted), moving between users, ticking a
grant, a main server outage and its return, the reserve server's absence, the windows' title-bar
buttons, and the geometry a maximised window leaves behind.

Run by CTest (KMR_BIN_DIR, KMR_SOURCE_DIR); on a failure a picture of the screen is left in
KMR_E2E_SHOTS (default: the system's temporary folder).
"""

import os
import sys
import tempfile
import time
import unittest

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kmr_e2e as e2e  # noqa: E402

BIN_DIR = os.environ.get("KMR_BIN_DIR", "")
SOURCE_DIR = os.environ.get("KMR_SOURCE_DIR", os.path.dirname(os.path.dirname(os.path.dirname(__file__))))
SHOTS = os.environ.get("KMR_E2E_SHOTS", tempfile.gettempdir())

ADMIN, PASSWORD = "admin", "kmr2026"


class AdminWindowEndToEnd(unittest.TestCase):
    desktop = None

    @classmethod
    def setUpClass(cls):
        cls.desktop = e2e.Desktop()
        cls.desktop.start()

    @classmethod
    def tearDownClass(cls):
        cls.desktop.stop()

    def setUp(self):
        self.servers = e2e.DemoServers(BIN_DIR, SOURCE_DIR)
        self.program = None

    def tearDown(self):
        failed = any(error for _, error in self._outcome.result.errors + self._outcome.result.failures
                     if error and _ is self)
        if failed or (self.program and not self.program.running()):
            shot = self.desktop.screenshot(os.path.join(SHOTS, f"{self._testMethodName}.png"))
            if shot:
                print(f"\nscreen at the end: {shot}", file=sys.stderr)
            if self.program:
                print(f"program output:\n{self.program.log()}", file=sys.stderr)
        if self.program:
            self.program.stop()
        self.servers.remove()

    def start(self, *args):
        self.program = e2e.Program(self.desktop, self.servers, list(args))
        return self.program

    # -- what the servers hold -------------------------------------------------------------------

    def user(self, name):
        tabnum, enabled, addresses = self.servers.rows(
            self.servers.MAIN, f"SELECT TABNUM, WENABLED, IPADR FROM USER_PSW WHERE NAME = '{name}'")[0]
        return int(tabnum), enabled == "T", addresses

    def granted(self, server, tabnum):
        rows = self.servers.rows(server, "SELECT P.PRALIAS FROM KMR_PROG_FOR_USER F, KMR_PROGRAMMEXE P "
                                         f"WHERE F.ID_PROGRAMM = P.ID_PROGRAMMEXE AND F.TABNUM = {tabnum}")
        return sorted(row[0] for row in rows)

    # -- what the window shows -------------------------------------------------------------------

    def program_marks(self):
        programs = self.program.find("Программы", "list")
        items = [programs.getChildAtIndex(i) for i in range(programs.childCount)]
        return sorted(item.name for item in items if self.program.checked(item))

    def select_user(self, login):
        """Scrolls the user list with the mouse wheel until the row is whole in view, then clicks it."""
        p = self.program
        grid = p.find("Пользователи", "table")
        for _ in range(60):
            cell = p.find(login, "table cell")
            box = cell.queryComponent().getExtents(p.atspi.DESKTOP_COORDS)
            view = grid.queryComponent().getExtents(p.atspi.DESKTOP_COORDS)
            # The header row sits at the top of the table's extents.
            if box.height > 0 and box.y >= view.y + box.height and box.y + box.height <= view.y + view.height:
                p.click(cell)
                return
            below = box.height <= 0 or box.y + box.height > view.y + view.height
            self.desktop.xdotool("mousemove", "--sync", view.x + view.width // 2, view.y + view.height // 2)
            self.desktop.xdotool("click", "5" if below else "4")
            time.sleep(0.1)
        raise e2e.E2EError(f"the user {login} did not come into view in the list")

    def assert_shows_user(self, login, timeout=e2e.DEFAULT_TIMEOUT):
        """The controls below the grid and the program marks are those of this user."""
        tabnum, enabled, addresses = self.user(login)
        p = self.program
        expected = (addresses or "", enabled, self.granted(self.servers.MAIN, tabnum))

        def shown():
            return (p.text(p.find("Возможные IP адреса машин", "text", timeout=1)),
                    p.checked(p.find("Разрешение на работу", "check box", timeout=1)), self.program_marks())

        e2e.wait_until(lambda: shown() == expected, f"the window to show user {login} {expected}", timeout)

    def test_sign_in_users_grant_and_a_main_server_outage(self):
        p = self.start()
        d = self.desktop
        p.window("Регистрация")

        # The sign-in dialog has no title-bar buttons: none to maximise or minimise it with.
        dialog = d.window_ids("Регистрация")[0]
        self.assertNotIn("_NET_WM_ACTION_MAXIMIZE", d.xprop(dialog, "_NET_WM_ALLOWED_ACTIONS"))
        d.xdotool("windowminimize", dialog)
        time.sleep(0.5)
        e2e.wait_until(lambda: d.viewable(dialog), "the sign-in dialog to stay on the screen", timeout=5)

        # A refused sign-in with a name of 2000 characters: the box fits the screen and Enter closes it.
        name = p.find("Имя пользователя", "text")
        p.set_text(name, "x" * 2000)
        p.click(p.find("Пароль", "password text"))
        p.type("wrong")
        p.key("Return")
        refusal = p.window("Ошибка")
        box = refusal.queryComponent().getExtents(p.atspi.DESKTOP_COORDS)
        self.assertLessEqual(box.width, d.width)
        self.assertLessEqual(box.height, d.height)
        self.assertGreaterEqual(box.x, 0)
        d.screenshot(os.path.join(SHOTS, "refusal-2000-character-name.png"))
        p.key("Return")
        e2e.wait_until(lambda: not p.has_window("Ошибка"), "Enter to close the refusal box", timeout=5)

        # Accepted: the main window opens with the user list.
        p.set_text(p.find("Имя пользователя", "text"), ADMIN)
        p.click(p.find("Пароль", "password text"))
        p.type(PASSWORD)
        p.key("Return")
        p.window("Администратор")
        e2e.wait_until(lambda: not p.has_window("Регистрация"), "the sign-in dialog to close")

        # Moving between users: the controls below the grid and the program marks follow.
        self.select_user("kalinin")
        self.assert_shows_user("kalinin")
        self.select_user("lebedev")
        self.assert_shows_user("lebedev")

        # A grant ticked in the window reaches both servers.
        self.select_user("egorova")
        self.assert_shows_user("egorova")
        tabnum = self.user("egorova")[0]
        missing = [name for name in ("Дефекты", "Отключения", "Заявки")
                   if name not in self.granted(self.servers.MAIN, tabnum)]
        self.assertTrue(missing, "egorova lacks a program in the demo data")
        item = p.find(missing[0], "list item", root=p.find("Программы", "list"))
        p.click(item)
        p.key("space")
        for server in (self.servers.MAIN, self.servers.RESERVE):
            e2e.wait_until(lambda: missing[0] in self.granted(server, tabnum), f"the grant on {server}")
        self.assert_shows_user("egorova")

        # The main server goes away: the connection-loss window holds the user; when the server is
        # back the window reloads by itself and still shows the selected user.
        self.servers.down(self.servers.MAIN)
        p.window("Обмен с сервером", timeout=20)
        e2e.wait_until(lambda: p.has_window("Обмен с сервером"), "the connection-loss window", timeout=20)
        notice = d.window_ids("Обмен с сервером")[0]
        self.assertNotIn("_NET_WM_ACTION_MAXIMIZE", d.xprop(notice, "_NET_WM_ALLOWED_ACTIONS"))
        d.screenshot(os.path.join(SHOTS, "main-server-down.png"))
        time.sleep(2)
        self.servers.up(self.servers.MAIN)
        e2e.wait_until(lambda: not p.has_window("Обмен с сервером"), "the connection-loss window to close",
                       timeout=30)
        refresh = p.find("Обновить", "push button")
        e2e.wait_until(lambda: p.enabled(refresh), '"Обновить" to be usable again')
        self.assert_shows_user("egorova")
        self.assertTrue(p.find("kalinin", "table cell"))
        d.screenshot(os.path.join(SHOTS, "after-main-server-outage.png"))

        # The reserve server goes away: the status bar says that changes reach the main server only.
        away = "Резервный сервер недоступен: изменения записываются только на основной сервер"
        self.servers.down(self.servers.RESERVE)
        p.find(away, "label", timeout=20)
        self.servers.up(self.servers.RESERVE)
        e2e.wait_until(lambda: not any(p.showing(n) for n in p.find_all(away, "label")),
                       "the reserve server's message to go", timeout=20)

    def test_a_maximised_window_keeps_its_normal_rectangle(self):
        section = "[Admin_KMR.TKMF_Admin]"
        stored = ["Left=100", "Top=100", "Width=800", "Height=500", "WindowState=wsMaximized"]
        temp = os.path.join(self.servers.dir, "Temp.tmp")
        with open(temp, "w", newline="\r\n") as f:
            f.write("\n".join([section, *stored, ""]))
        p = self.start(f"{ADMIN}/{PASSWORD}", self.servers.ocidll())
        p.window("Администратор")
        window = self.desktop.window_ids("Администратор")[0]
        e2e.wait_until(lambda: "_NET_WM_STATE_MAXIMIZED_VERT" in self.desktop.xprop(window, "_NET_WM_STATE"),
                       "the window to open maximised")
        # On a busy machine the window manager may take an Alt+F4 before the window is active: it is pressed
        # again while the window stays on the screen.
        for _ in range(3):
            self.desktop.xdotool("windowactivate", "--sync", window)
            p.key("alt+F4")
            try:
                e2e.wait_until(lambda: not self.desktop.viewable(window), "the window to close", timeout=5)
                break
            except e2e.E2EError:
                pass
        e2e.wait_until(lambda: not p.running(), "the program to end")
        with open(temp) as f:
            lines = [line.strip() for line in f]
        start = lines.index(section)
        self.assertEqual(sorted(line for line in lines[start + 1:start + 6]), sorted(stored))


if __name__ == "__main__":
    unittest.main(verbosity=2)
