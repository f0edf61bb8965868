#!/usr/bin/env python3
"""Reports every window mapped on the X display as "WIDTHxHEIGHT TITLE", one a line.

Event-driven rather than polled: a window that fails its web view lives only
for a moment, too short for repeated searches to see it reliably.
"""
import ctypes
import ctypes.util
import sys

c = ctypes
x11 = c.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
x11.XOpenDisplay.restype = c.c_void_p
x11.XOpenDisplay.argtypes = [c.c_char_p]
x11.XDefaultRootWindow.restype = c.c_ulong
x11.XDefaultRootWindow.argtypes = [c.c_void_p]
x11.XSelectInput.argtypes = [c.c_void_p, c.c_ulong, c.c_long]
x11.XSync.argtypes = [c.c_void_p, c.c_int]
x11.XNextEvent.argtypes = [c.c_void_p, c.c_void_p]
x11.XInternAtom.restype = c.c_ulong
x11.XInternAtom.argtypes = [c.c_void_p, c.c_char_p, c.c_int]
x11.XGetWindowProperty.argtypes = [
    c.c_void_p, c.c_ulong, c.c_ulong, c.c_long, c.c_long, c.c_int, c.c_ulong,
    c.POINTER(c.c_ulong), c.POINTER(c.c_int), c.POINTER(c.c_ulong), c.POINTER(c.c_ulong),
    c.POINTER(c.c_void_p)]
x11.XFree.argtypes = [c.c_void_p]
x11.XGetGeometry.argtypes = [
    c.c_void_p, c.c_ulong, c.POINTER(c.c_ulong), c.POINTER(c.c_int), c.POINTER(c.c_int),
    c.POINTER(c.c_uint), c.POINTER(c.c_uint), c.POINTER(c.c_uint), c.POINTER(c.c_uint)]
ERROR_HANDLER = c.CFUNCTYPE(c.c_int, c.c_void_p, c.c_void_p)
x11.XSetErrorHandler.argtypes = [ERROR_HANDLER]

SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
MAP_NOTIFY = 19
XA_STRING = 31
XA_WM_NAME = 39


def property_bytes(display, window, name, kind):
    actual_type, actual_format = c.c_ulong(), c.c_int()
    count, after, data = c.c_ulong(), c.c_ulong(), c.c_void_p()
    status = x11.XGetWindowProperty(display, window, name, 0, 4096, 0, kind, c.byref(actual_type),
                                    c.byref(actual_format), c.byref(count), c.byref(after),
                                    c.byref(data))
    if status != 0 or not data.value:
        return None
    value = c.string_at(data.value, count.value) if actual_format.value == 8 else None
    x11.XFree(data)
    return value


def main():
    display = x11.XOpenDisplay(None)
    if not display:
        print("cannot open the display", file=sys.stderr)
        return 1
    # A window gone before it is read gives BadWindow, which is no reason to stop.
    ignore = ERROR_HANDLER(lambda _display, _event: 0)
    x11.XSetErrorHandler(ignore)
    net_wm_name = x11.XInternAtom(display, b"_NET_WM_NAME", 0)
    utf8_string = x11.XInternAtom(display, b"UTF8_STRING", 0)
    x11.XSelectInput(display, x11.XDefaultRootWindow(display), SUBSTRUCTURE_NOTIFY_MASK)
    x11.XSync(display, 0)
    out = sys.stdout.buffer
    out.write(b"ready\n")
    out.flush()
    event = (c.c_long * 24)()  # XEvent is 192 bytes
    while True:
        x11.XNextEvent(display, event)
        if event[0] & 0xFFFFFFFF != MAP_NOTIFY:
            continue
        window = event[5]  # XMapEvent.window
        title = property_bytes(display, window, net_wm_name, utf8_string)
        if title is None:
            title = property_bytes(display, window, XA_WM_NAME, XA_STRING) or b""
        root, x, y = c.c_ulong(), c.c_int(), c.c_int()
        width, height, border, depth = c.c_uint(), c.c_uint(), c.c_uint(), c.c_uint()
        if not x11.XGetGeometry(display, window, c.byref(root), c.byref(x), c.byref(y),
                                c.byref(width), c.byref(height), c.byref(border), c.byref(depth)):
            width.value = height.value = 0
        out.write(b"%dx%d %s\n" % (width.value, height.value, title))
        out.flush()


if __name__ == "__main__":
    sys.exit(main())
