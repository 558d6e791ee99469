"""_NET_WM_PING from outside, as a window manager sends it: the client must
answer from its event loop, so the time to the answer is how long the
program's window thread keeps the user waiting. libX11 through ctypes."""

import ctypes
import ctypes.util
import select
import time

_x = ctypes.CDLL(ctypes.util.find_library("X11"))
_x.XOpenDisplay.restype = ctypes.c_void_p
_x.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x.XDefaultRootWindow.restype = ctypes.c_ulong
_x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x.XInternAtom.restype = ctypes.c_ulong
_x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
_x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                          ctypes.c_void_p]
_x.XFlush.argtypes = [ctypes.c_void_p]
_x.XPending.argtypes = [ctypes.c_void_p]
_x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
_x.XConnectionNumber.argtypes = [ctypes.c_void_p]
_x.XCloseDisplay.argtypes = [ctypes.c_void_p]

CLIENT_MESSAGE = 33
STRUCTURE_NOTIFY = 1 << 17
SUBSTRUCTURE_NOTIFY = 1 << 19


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("client", ClientMessage), ("pad", ctypes.c_long * 24)]


class Pinger:
    def __init__(self, display_name):
        self.display = _x.XOpenDisplay(display_name.encode())
        if not self.display:
            raise RuntimeError("cannot open display " + display_name)
        self.root = _x.XDefaultRootWindow(self.display)
        self.protocols = _x.XInternAtom(self.display, b"WM_PROTOCOLS", 0)
        self.ping_atom = _x.XInternAtom(self.display, b"_NET_WM_PING", 0)
        # The answer goes to the root window; clients differ in the mask
        # they send it with (Qt: StructureNotify), so listen for both.
        _x.XSelectInput(self.display, self.root, STRUCTURE_NOTIFY | SUBSTRUCTURE_NOTIFY)
        self.stamp = 1000

    def close(self):
        _x.XCloseDisplay(self.display)

    def ping(self, window, timeout=30.0):
        """Seconds until `window` answered one ping (None: no answer in time)."""
        self.stamp += 1
        event = Event()
        event.client.type = CLIENT_MESSAGE
        event.client.window = window
        event.client.message_type = self.protocols
        event.client.format = 32
        event.client.data[0] = self.ping_atom
        event.client.data[1] = self.stamp
        event.client.data[2] = window
        started = time.monotonic()
        _x.XSendEvent(self.display, window, 0, 0, ctypes.byref(event))
        _x.XFlush(self.display)
        fd = _x.XConnectionNumber(self.display)
        while True:
            while _x.XPending(self.display):
                answer = Event()
                _x.XNextEvent(self.display, ctypes.byref(answer))
                if (answer.type == CLIENT_MESSAGE and answer.client.data[0] == self.ping_atom
                        and answer.client.data[1] == self.stamp):
                    return time.monotonic() - started
            left = timeout - (time.monotonic() - started)
            if left <= 0:
                return None
            select.select([fd], [], [], left)
