#!/usr/bin/env python3
"""A test tray host that speaks the StatusNotifierItem protocol on the session bus.

    trayhost.py serve [--log FILE]
        Registers as org.kde.StatusNotifierWatcher with a registered host, the way a
        desktop's panel does, and keeps the items that register with it. Its introspection
        declares the watcher's properties: Qt reads IsStatusNotifierHostRegistered through
        an introspected interface, and a watcher that does not declare it is not seen.
        Every registration and unregistration is written to the log (one JSON object a line).

    trayhost.py items                       the registered items, one a line
    trayhost.py describe [--wait SECONDS]   the first item as one JSON object: its Id, Title,
                                            Status, ToolTip, IconName, IconPixmap sizes and its
                                            menu read over com.canonical.dbusmenu (caption with
                                            "&" for the mnemonic, enabled, separator)
    trayhost.py activate                    calls Activate(0, 0) on the item
    trayhost.py secondary                   calls SecondaryActivate(0, 0)
    trayhost.py context                     calls ContextMenu(0, 0)
    trayhost.py menu CAPTION                sends "clicked" to the menu item with that caption
                                            (as the menu shows it, "&" before the mnemonic)

The client commands talk to the item directly, as a panel does: the watcher only tells where
the item is. They exit 0 on success, 1 when there is no item or the call failed.
Runs with Debian's python3-dbus and python3-gi.
"""

import json
import sys
import time

import dbus
import dbus.service

WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
ITEM_IFACES = ("org.kde.StatusNotifierItem", "org.freedesktop.StatusNotifierItem")
MENU_IFACE = "com.canonical.dbusmenu"
PROPS = "org.freedesktop.DBus.Properties"

WATCHER_XML = """<!DOCTYPE node PUBLIC "-//freedesktop//DTD D-BUS Object Introspection 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd">
<node>
  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg name="xml" type="s" direction="out"/></method>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
    <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
    <method name="Set"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="in"/></method>
  </interface>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
    <signal name="StatusNotifierHostUnregistered"/>
  </interface>
</node>
"""


class Watcher(dbus.service.Object):
    def __init__(self, bus, log):
        self.bus = bus
        self.items = []  # "service/path"
        self.log = log
        super().__init__(bus, WATCHER_PATH)
        bus.add_signal_receiver(self.owner_changed, signal_name="NameOwnerChanged",
                                dbus_interface="org.freedesktop.DBus")

    def note(self, **what):
        if self.log:
            with open(self.log, "a", encoding="utf-8") as f:
                f.write(json.dumps(what) + "\n")

    @dbus.service.method("org.freedesktop.DBus.Introspectable", out_signature="s")
    def Introspect(self):
        return WATCHER_XML

    def props(self):
        return {
            "RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.props()[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.props()

    @dbus.service.method(PROPS, in_signature="ssv")
    def Set(self, interface, name, value):
        raise dbus.exceptions.DBusException("read only", name="org.freedesktop.DBus.Error.PropertyReadOnly")

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # A path alone names an object of the caller; otherwise a bus name with the
        # protocol's default path.
        if service.startswith("/"):
            entry = sender + service
        else:
            entry = service + "/StatusNotifierItem"
        if entry not in self.items:
            self.items.append(entry)
            self.note(event="registered", item=entry, sender=sender)
            self.StatusNotifierItemRegistered(entry)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        self.StatusNotifierHostRegistered()

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, item):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemUnregistered(self, item):
        pass

    @dbus.service.signal(WATCHER, signature="")
    def StatusNotifierHostRegistered(self):
        pass

    def owner_changed(self, name, old, new):
        if new:
            return
        for entry in list(self.items):
            service = entry.split("/", 1)[0]
            if service == name or service == old:
                self.items.remove(entry)
                self.note(event="unregistered", item=entry)
                self.StatusNotifierItemUnregistered(entry)


def serve(args):
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    log = None
    if "--log" in args:
        log = args[args.index("--log") + 1]
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus, log)
    # The object is in place before the name is taken: whoever sees the name can use it.
    name = dbus.service.BusName(WATCHER, bus, do_not_queue=True)
    watcher.note(event="serving", name=name.get_name())
    GLib.MainLoop().run()


# ---- Client side ----------------------------------------------------------------------

def items(bus):
    try:
        w = bus.get_object(WATCHER, WATCHER_PATH)
        return [str(i) for i in w.Get(WATCHER, "RegisteredStatusNotifierItems", dbus_interface=PROPS)]
    except dbus.exceptions.DBusException:
        return []


def item_object(bus, wait=0.0):
    end = time.time() + wait
    while True:
        found = items(bus)
        if found or time.time() >= end:
            break
        time.sleep(0.1)
    if not found:
        return None, None
    service, path = found[0].split("/", 1)
    obj = bus.get_object(service, "/" + path)
    props = obj.GetAll(ITEM_IFACES[0], dbus_interface=PROPS)
    if not props:
        props = obj.GetAll(ITEM_IFACES[1], dbus_interface=PROPS)
    return obj, props


def caption(label):
    # dbusmenu writes the mnemonic as "_" and a literal underscore as "__".
    out, i = "", 0
    while i < len(label):
        c = label[i]
        if c == "_":
            if i + 1 < len(label) and label[i + 1] == "_":
                out += "_"
                i += 2
                continue
            out += "&"
        elif c == "&":
            out += "&&"
        else:
            out += c
        i += 1
    return out


def menu_entries(layout, depth=0):
    ident, props, children = layout
    out = []
    for child in children:
        cid, cprops, grand = child
        kind = str(cprops.get("type", "standard"))
        entry = {
            "id": int(cid),
            "caption": caption(str(cprops.get("label", ""))),
            "enabled": bool(cprops.get("enabled", True)),
            "visible": bool(cprops.get("visible", True)),
            "separator": kind == "separator",
        }
        if grand:
            entry["children"] = menu_entries(child, depth + 1)
        out.append(entry)
    return out


def read_menu(bus, service, path):
    menu = bus.get_object(service, path)
    try:
        menu.AboutToShow(0, dbus_interface=MENU_IFACE)
    except dbus.exceptions.DBusException:
        pass
    revision, layout = menu.GetLayout(0, -1, dbus.Array([], signature="s"), dbus_interface=MENU_IFACE)
    return menu, menu_entries(layout)


def describe(bus, wait):
    obj, props = item_object(bus, wait)
    if obj is None:
        return None
    service = obj.requested_bus_name
    tip = props.get("ToolTip")
    pixmaps = [(int(w), int(h), len(data)) for (w, h, data) in props.get("IconPixmap", [])]
    out = {
        "service": str(service),
        "path": str(obj.object_path),
        "Id": str(props.get("Id", "")),
        "Title": str(props.get("Title", "")),
        "Status": str(props.get("Status", "")),
        "Category": str(props.get("Category", "")),
        "IconName": str(props.get("IconName", "")),
        "IconPixmap": pixmaps,
        "ToolTip": {"title": str(tip[2]), "text": str(tip[3])} if tip is not None else None,
        "ItemIsMenu": bool(props.get("ItemIsMenu", False)),
        "Menu": str(props.get("Menu", "")),
    }
    if out["Menu"] and out["Menu"] != "/NO_DBUSMENU":
        _, out["menu"] = read_menu(bus, service, out["Menu"])
    return out


def find_entry(entries, wanted):
    for e in entries:
        if e["caption"] == wanted:
            return e
        found = find_entry(e.get("children", []), wanted)
        if found:
            return found
    return None


def main(argv):
    if not argv:
        print(__doc__, file=sys.stderr)
        return 2
    command, args = argv[0], argv[1:]
    if command == "serve":
        serve(args)
        return 0
    bus = dbus.SessionBus()
    wait = 0.0
    if "--wait" in args:
        at = args.index("--wait")
        wait = float(args[at + 1])
        args = args[:at] + args[at + 2:]
    try:
        if command == "items":
            for i in items(bus):
                print(i)
            return 0
        if command == "describe":
            d = describe(bus, wait)
            if d is None:
                return 1
            print(json.dumps(d))
            return 0
        obj, props = item_object(bus, wait)
        if obj is None:
            print("no item", file=sys.stderr)
            return 1
        iface = ITEM_IFACES[0]
        if command == "activate":
            obj.Activate(0, 0, dbus_interface=iface)
            return 0
        if command == "secondary":
            obj.SecondaryActivate(0, 0, dbus_interface=iface)
            return 0
        if command == "context":
            obj.ContextMenu(0, 0, dbus_interface=iface)
            return 0
        if command == "menu":
            wanted = args[0]
            menu, entries = read_menu(bus, obj.requested_bus_name, str(props.get("Menu")))
            entry = find_entry(entries, wanted)
            if entry is None:
                print("no menu item %r in %s" % (wanted, [e["caption"] for e in entries]), file=sys.stderr)
                return 1
            menu.Event(entry["id"], "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(int(time.time())),
                       dbus_interface=MENU_IFACE)
            return 0
    except dbus.exceptions.DBusException as e:
        print(e.get_dbus_message() or str(e), file=sys.stderr)
        return 1
    print("unknown command " + command, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
