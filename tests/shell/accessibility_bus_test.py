#!/usr/bin/python3
"""Drives taluvex the way a screen reader does: through the AT-SPI bus only.

Run inside a private session bus (dbus-run-session). Starts a virtual X display, the
accessibility bus and taluvex with its own folders, then finds controls by role and name,
presses them by their actions and reads what they say. Prints the main and share screens'
trees as a screen reader sees them.

usage: dbus-run-session -- accessibility_bus_test.py <path to taluvex>
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import GLib  # noqa: E402
import pyatspi  # noqa: E402

TIMEOUT_SECONDS = 15
TIME_PATTERN = re.compile(r"^\d\d:\d\d:\d\d$")
ROW_PATTERN = re.compile(r"^\d{4}-\d\d-\d\d, \d\d:\d\d:\d\d$")
SHOWN_STATES = [
    ("focused", pyatspi.STATE_FOCUSED),
    ("checkable", pyatspi.STATE_CHECKABLE),
    ("checked", pyatspi.STATE_CHECKED),
    ("selected", pyatspi.STATE_SELECTED),
    ("modal", pyatspi.STATE_MODAL),
    ("busy", pyatspi.STATE_BUSY),
    ("editable", pyatspi.STATE_EDITABLE),
]


class Failure(Exception):
    pass


def pump(seconds):
    """Lets the bus deliver events while time passes."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.02)


def wait_for(what, probe, timeout=TIMEOUT_SECONDS):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            found = probe()
        except Exception:  # an object went away while it was read
            found = None
        if found:
            return found
        pump(0.05)
    raise Failure(f"timed out waiting for {what}")


def children(obj):
    try:
        return [obj.getChildAtIndex(i) for i in range(obj.childCount)]
    except Exception:
        return []


def walk(obj):
    yield obj
    for child in children(obj):
        if child is not None:
            yield from walk(child)


def states_of(obj):
    state = obj.getState()
    words = [word for word, s in SHOWN_STATES if state.contains(s)]
    if not state.contains(pyatspi.STATE_ENABLED):
        words.append("disabled")
    return words


def describe(obj):
    words = f"{obj.getRoleName()} \"{obj.name}\""
    value = value_of(obj)
    if value is not None:
        words += f" [{value:g}]"
    shown = states_of(obj)
    if shown:
        words += " (" + " ".join(shown) + ")"
    return words


def tree_text(obj, depth=0):
    lines = ["  " * depth + describe(obj)]
    for child in children(obj):
        lines.extend(tree_text(child, depth + 1))
    return lines


def value_of(obj):
    try:
        return obj.queryValue().currentValue
    except NotImplementedError:
        return None


class App:
    def __init__(self, name):
        self.name = name

    def root(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for app in children(desktop):
            if app is not None and app.name == self.name:
                app.clear_cache()
                return app
        return None

    def window(self):
        app = self.root()
        if app is None:
            return None
        frames = [c for c in children(app) if c is not None]
        return frames[0] if frames else None

    def find(self, role, name=None, pattern=None):
        window = self.window()
        if window is None:
            return None
        for obj in walk(window):
            if obj.getRoleName() != role:
                continue
            if name is not None and obj.name != name:
                continue
            if pattern is not None and not pattern.match(obj.name or ""):
                continue
            return obj
        return None

    def need(self, role, name=None, pattern=None, timeout=TIMEOUT_SECONDS):
        label = f"{role} \"{name or (pattern.pattern if pattern else '')}\""
        return wait_for(label, lambda: self.find(role, name, pattern), timeout)

    def gone(self, role, name=None):
        wait_for(f"{role} \"{name}\" to go", lambda: self.find(role, name) is None)


def press(obj, action_name=None):
    # A control is pressed as a person would: once it can be used (buttons rest while a panel
    # slides).
    wait_for(f"{describe(obj)} to be enabled",
             lambda: obj.getState().contains(pyatspi.STATE_ENABLED))
    action = obj.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    index = names.index(action_name) if action_name else 0
    if not action.doAction(index):
        raise Failure(f"{describe(obj)}: action {names[index]} refused")


def start_display():
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp", "-screen", "0", "1024x1280x24"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_fd, 16)
        if not chunk:
            raise Failure("Xvfb did not start")
        number += chunk
    os.close(read_fd)
    return xvfb, ":" + number.decode().strip()


def main():
    # The application answers between its own work (a recording being closed, a render's
    # steps); a busy moment is waited out rather than taken for silence.
    pyatspi.setTimeout(10000, 30000)
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    taluvex = sys.argv[1]
    home = tempfile.mkdtemp(prefix="taluvex-a11y-")
    processes = []
    try:
        xvfb, display = start_display()
        processes.append(xvfb)
        os.environ["DISPLAY"] = display
        launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        processes.append(launcher)
        wait_for("the accessibility registry", lambda: pyatspi.Registry.getDesktop(0) is not None)

        env = dict(os.environ)
        env.update({
            "HOME": home,
            "XDG_DATA_HOME": os.path.join(home, "data"),
            "XDG_CONFIG_HOME": os.path.join(home, "config"),
            "XDG_CACHE_HOME": os.path.join(home, "cache"),
            "XDG_RUNTIME_DIR": os.path.join(home, "run"),
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        })
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        app_process = subprocess.Popen([taluvex], env=env, stdout=subprocess.DEVNULL)
        processes.append(app_process)
        app = App("taluvex")

        # The main screen's controls, by role and name.
        record = app.need("push button", "Record")
        for role, name in [("push button", "Pick a movie"), ("push button", "Library"),
                           ("push button", "Swap camera"), ("push button", "Settings")]:
            app.need(role, name)
        print("== main screen")
        print("\n".join(tree_text(app.window())))

        # The quality switch in the settings panel.
        press(app.need("push button", "Settings"))
        switch = app.need("check box", "High quality")
        was_on = switch.getState().contains(pyatspi.STATE_CHECKED)
        press(switch, "Toggle")
        wait_for("the quality switch to flip",
                 lambda: app.find("check box", "High quality").getState().contains(
                     pyatspi.STATE_CHECKED) != was_on)
        print(f"== quality switch: {'on' if was_on else 'off'} -> {'off' if was_on else 'on'}")
        speed = app.need("spin button", "Speed")
        print(f"== speed: {value_of(speed):g}")
        press(app.need("push button", "Settings"))
        wait_for("the settings panel to close", lambda: app.find("check box") is None)

        # A recording: the time label counts.
        record = app.need("push button", "Record")
        press(record)
        first_text = app.need("label", pattern=TIME_PATTERN).name

        def time_changed():
            label = app.find("label", pattern=TIME_PATTERN)
            return label.name if label is not None and label.name != first_text else None

        later_text = wait_for("the recording time to change", time_changed)
        print(f"== recording time: {first_text} -> {later_text}")
        wait_for("Record to be checked while recording",
                 lambda: app.find("push button", "Record").getState().contains(
                     pyatspi.STATE_CHECKED))

        # Stopped, it renders under an overlay whose progress rises: heard as it changes (a
        # screen reader is not expected to poll) and read while the overlay shows.
        seen = []

        def heard(event):
            if event.source is not None and event.source.name == "Rendering the movie":
                value = value_of(event.source)
                if value is not None:
                    seen.append(value)

        pyatspi.Registry.registerEventListener(heard, "object:property-change:accessible-value")
        press(app.find("push button", "Record"))
        app.need("progress bar", "Rendering the movie")
        end = time.monotonic() + 4 * TIMEOUT_SECONDS
        while time.monotonic() < end:
            try:
                bar = app.find("progress bar", "Rendering the movie")
                if bar is None and app.find("push button", "Save to Videos") is not None:
                    break
                value = value_of(bar) if bar is not None else None
            except GLib.Error:  # busy rendering: asked again
                value = None
            if value is not None:
                seen.append(value)
            pump(0.03)
        pyatspi.Registry.deregisterEventListener(heard, "object:property-change:accessible-value")
        print("== render progress: " + " ".join(f"{v:.2f}" for v in seen))
        if not seen or max(seen) <= seen[0]:
            raise Failure(f"the render's progress did not rise: {seen}")

        # The share screen.
        app.need("push button", "Save to Videos")
        print("== share screen")
        print("\n".join(tree_text(app.window())))
        for name in ["Back", "Play the movie", "Email", "Twitter", "Facebook"]:
            app.need("push button", name)

        # An alert: read it and answer it.
        press(app.find("push button", "Save to Videos"))
        alert = wait_for("an alert with words",
                         lambda: (lambda a: a if a is not None and a.name else None)(
                             app.find("alert")))
        button = wait_for("the alert's button", lambda: next(
            (o for o in walk(alert) if o.getRoleName() == "push button" and o.name), None))
        print(f"== alert: \"{alert.name}\" button: \"{button.name}\"")
        press(button)
        app.gone("alert")

        # Back on the main screen, the library lists the movie.
        press(app.need("push button", "Back"))
        press(app.need("push button", "Library"))
        app.need("page tab", "My movies")
        row = app.need("list item", pattern=ROW_PATTERN)
        rows = [o.name for o in walk(app.window()) if o.getRoleName() == "list item"]
        print("== library rows: " + "; ".join(rows))
        if row.name not in rows:
            raise Failure("the library's rows changed while read")
        print("PASS")
        return 0
    except (Failure, GLib.Error) as failure:
        print(f"FAIL: {failure}")
        if processes and processes[-1].poll() is not None:
            print(f"taluvex ended with {processes[-1].returncode}")
        try:
            window = App("taluvex").window()
            if window is not None:
                print("\n".join(tree_text(window)))
        except Exception:
            pass
        return 1
    finally:
        for process in reversed(processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
