#!/usr/bin/env python3
"""Waits until a Qt program has caught up with what was sent to it.

Usage: xping.py SECONDS ROUNDS WINDOW...

Sends _NET_WM_PING to the first of the windows that takes it, ROUNDS times, each after the
answer to the one before. A Qt program answers in its event loop, after the X events that
came before the ping (keys, clicks, close requests); every further round is one more turn
of that loop, in which the events the program posted to itself ran. So after a few rounds
the program has handled the keys sent so far and what they set off, without guessing a time.
Exit status 0 when every round was answered within SECONDS, 1 otherwise (also when no
window takes pings: the program has gone).
"""
import ctypes
import ctypes.util
import random
import select
import sys
import time

CLIENT_MESSAGE = 33
STRUCTURE_NOTIFY_MASK = 1 << 17


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("window", ctypes.c_ulong),
        ("message_type", ctypes.c_ulong),
        ("format", ctypes.c_int),
        ("data", ctypes.c_long * 5),
    ]


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


def main(argv):
    if len(argv) < 4:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    deadline = time.monotonic() + float(argv[1])
    rounds = int(argv[2])
    windows = [int(w, 0) for w in argv[3:]]

    x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
    x.XGetWMProtocols.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                  ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)), ctypes.POINTER(ctypes.c_int)]
    x.XFree.argtypes = [ctypes.c_void_p]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent)]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XPending.argtypes = [ctypes.c_void_p]
    x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
    x.XConnectionNumber.argtypes = [ctypes.c_void_p]

    # A window that went away between the search and now is no reason to stop.
    handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
    ignore_errors = handler_type(lambda display, error: 0)
    x.XSetErrorHandler(ignore_errors)

    display = x.XOpenDisplay(None)
    if not display:
        return 1
    wm_protocols = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
    net_wm_ping = x.XInternAtom(display, b"_NET_WM_PING", 0)
    root = x.XDefaultRootWindow(display)
    # The answer goes to the root window, to whoever listens for structure changes there.
    x.XSelectInput(display, root, STRUCTURE_NOTIFY_MASK)

    target = None
    for w in windows:
        protocols = ctypes.POINTER(ctypes.c_ulong)()
        count = ctypes.c_int(0)
        if x.XGetWMProtocols(display, w, ctypes.byref(protocols), ctypes.byref(count)):
            found = any(protocols[i] == net_wm_ping for i in range(count.value))
            x.XFree(protocols)
            if found:
                target = w
                break
    if target is None:
        return 1

    fd = x.XConnectionNumber(display)
    stamp = random.randrange(1 << 20, 1 << 30)
    event = XEvent()
    for n in range(rounds):
        ping = XEvent()
        ping.xclient.type = CLIENT_MESSAGE
        ping.xclient.window = target
        ping.xclient.message_type = wm_protocols
        ping.xclient.format = 32
        ping.xclient.data[0] = net_wm_ping
        ping.xclient.data[1] = stamp + n
        ping.xclient.data[2] = target
        x.XSendEvent(display, target, 0, 0, ctypes.byref(ping))
        x.XFlush(display)
        answered = False
        while not answered:
            while x.XPending(display):
                x.XNextEvent(display, ctypes.byref(event))
                c = event.xclient
                if (event.type == CLIENT_MESSAGE and c.message_type == wm_protocols
                        and c.data[0] == net_wm_ping and c.data[1] == stamp + n):
                    answered = True
                    break
            if answered:
                break
            left = deadline - time.monotonic()
            if left <= 0:
                return 1
            select.select([fd], [], [], min(left, 0.5))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
