"""A private X display for window tests and benchmarks that run the real
program on the xcb platform: Xvfb on a display number it picks itself
(-displayfd, so that parallel runs never collide), the openbox window manager
on it, and xdotool and ImageMagick to drive it and read pixels back."""

import ctypes
import ctypes.util
import os
import select
import subprocess
import time

TWIPS_PER_PIXEL = 15


def px(twips):
    return twips // TWIPS_PER_PIXEL


class Display:
    def __init__(self, workdir, size="1280x800x24", number=None):
        """`number`: the display to take (":N"); None picks a free one."""
        self.workdir = workdir
        self._xvfb = None
        # A fixed number when asked for, or when the machine hands them out
        # (QF_TEST_DISPLAY=132).
        fixed = str(number) if number else os.environ.get("QF_TEST_DISPLAY")
        if fixed:
            self.name = ":" + fixed.lstrip(":")
            self._xvfb = subprocess.Popen(
                ["Xvfb", self.name, "-screen", "0", size, "-nolisten", "tcp"],
                stdout=subprocess.DEVNULL,
                stderr=open(os.path.join(workdir, "xvfb.log"), "wb"))
            socket_path = "/tmp/.X11-unix/X" + fixed.lstrip(":")
            deadline = time.monotonic() + 30
            while not os.path.exists(socket_path):
                if self._xvfb.poll() is not None or time.monotonic() > deadline:
                    self.close()
                    raise RuntimeError("Xvfb did not start on %s" % self.name)
                time.sleep(0.1)
        else:
            self._start_free(size)
        self.env = dict(os.environ, DISPLAY=self.name)
        self._openbox = subprocess.Popen(
            ["openbox"], env=self.env, stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(workdir, "openbox.log"), "wb"))
        time.sleep(1)

    def _start_free(self, size):
        read_end, write_end = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", size, "-nolisten",
             "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.workdir, "xvfb.log"), "wb"))
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0, deadline - time.monotonic()))
            chunk = os.read(read_end, 16) if ready else b""
            if not chunk:
                self.close()
                raise RuntimeError("Xvfb did not start (see xvfb.log in %s)" % self.workdir)
            number += chunk
        os.close(read_end)
        self.name = ":" + number.decode().strip()

    def close(self):
        for process in (getattr(self, "_openbox", None), self._xvfb):
            if process is not None and process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()

    def xdotool(self, *args, timeout=30):
        done = subprocess.run(["xdotool", *map(str, args)], env=self.env, timeout=timeout,
                              capture_output=True, text=True)
        return done.stdout.strip()

    def wait_window(self, name, timeout=60):
        """The id of the first visible window whose name matches `name`."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.xdotool("search", "--onlyvisible", "--name", name)
            if found:
                time.sleep(0.5)
                return found.split()[0]
            time.sleep(0.3)
        raise AssertionError("no window named %r appeared" % name)

    def origin(self, window):
        """The screen position of the window's client area. (Found through
        the pointer: the geometry xdotool reports under a window manager
        counts the title bar twice.)"""
        self.xdotool("mousemove", "--window", window, 0, 0)
        where = dict(part.split(":") for part in self.xdotool("getmouselocation").split())
        return int(where["x"]), int(where["y"])

    def click(self, origin, x, y):
        """Clicks at (x, y) pixels from `origin`, a window's origin()."""
        self.xdotool("mousemove", origin[0] + x, origin[1] + y)
        time.sleep(0.2)
        self.xdotool("click", 1)

    def pixels(self, x, y, width, height):
        """The screen's pixels in that rectangle, as rows of (r, g, b)."""
        raw = subprocess.run(
            ["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, x, y),
             "-depth", "8", "rgb:-"], env=self.env, capture_output=True, check=True,
            timeout=60).stdout
        return [[tuple(raw[(row * width + col) * 3:(row * width + col) * 3 + 3])
                 for col in range(width)] for row in range(height)]

    def map_characters(self, text):
        """Binds every character of `text` that no key types to a spare key.
        `xdotool type` types such a character by binding it to a key for the
        moment and binding it back at once; a client that reads the keyboard
        map a moment late then sees another character or none. Bound for
        good beforehand, each is one plain key press."""
        x = ctypes.CDLL(ctypes.util.find_library("X11"))
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDisplayKeycodes.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                       ctypes.POINTER(ctypes.c_int)]
        x.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
        x.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int,
                                          ctypes.POINTER(ctypes.c_int)]
        x.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                             ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        display = x.XOpenDisplay(self.name.encode())
        low, high, width = ctypes.c_int(), ctypes.c_int(), ctypes.c_int()
        x.XDisplayKeycodes(display, ctypes.byref(low), ctypes.byref(high))
        count = high.value - low.value + 1
        symbols = x.XGetKeyboardMapping(display, low.value, count, ctypes.byref(width))
        rows = [symbols[i * width.value:(i + 1) * width.value] for i in range(count)]
        x.XFree(symbols)
        bound = {symbol for row in rows for symbol in row}
        spare = [low.value + i for i, row in enumerate(rows) if not any(row)]
        for character in sorted(set(text)):
            code = ord(character)
            symbol = code if code < 0x100 else 0x01000000 | code
            if code < 0x80 or symbol in bound:
                continue
            if not spare:
                raise RuntimeError("no spare key left for %r" % character)
            x.XChangeKeyboardMapping(display, spare.pop(0), width.value,
                                     (ctypes.c_ulong * width.value)(*[symbol] * width.value), 1)
            bound.add(symbol)
        x.XSync(display, 0)
        x.XCloseDisplay(display)
        time.sleep(1)  # the clients read the new map

    def clipboard(self, timeout=5):
        """The clipboard's text as its owner hands it out; None when the
        owner did not answer within `timeout` seconds."""
        try:
            return subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env,
                                  capture_output=True, text=True, timeout=timeout).stdout
        except subprocess.TimeoutExpired:
            return None

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True,
                       timeout=60)
