#!/usr/bin/env python3
"""Stand-in for the desktop's side of the session bus: a StatusNotifier watcher with a host,
and a notification server. It reports what the program did as JSON lines on stdout and takes
commands on stdin:

  menu           -> {"event": "menu", "path": ..., "labels": [...], "ids": [...]}
  click ID       -> calls com.canonical.dbusmenu.Event(ID, "clicked") on the item's menu
  invoke         -> emits ActionInvoked(last notification id, "default")

Events: {"event": "ready"}, {"event": "registered", "service": ..., "path": ...},
{"event": "notify", "id": ..., "app": ..., "icon": ..., "title": ..., "body": ...,
"actions": [...], "hints": {...}}.
"""
import json
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
NOTIFICATIONS = "org.freedesktop.Notifications"
PROPERTIES = "org.freedesktop.DBus.Properties"


def report(**event):
    sys.stdout.write(json.dumps(event) + "\n")
    sys.stdout.flush()


def plain(value):
    if isinstance(value, (dbus.String, dbus.ObjectPath)):
        return str(value)
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.Byte, dbus.Int16, dbus.Int32, dbus.Int64, dbus.UInt16, dbus.UInt32, dbus.UInt64)):
        return int(value)
    if isinstance(value, dbus.Array):
        return [plain(v) for v in value]
    if isinstance(value, dbus.Dictionary):
        return {str(k): plain(v) for k, v in value.items()}
    return str(value)


WATCHER_XML = """<!DOCTYPE node PUBLIC "-//freedesktop//DTD D-BUS Object Introspection 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd">
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
    <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
  </interface>
  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg type="s" direction="out"/></method>
  </interface>
</node>
"""


class Watcher(dbus.service.Object):
    # Qt reads the watcher's properties through an interface that it first introspects.
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, in_signature="", out_signature="s")
    def Introspect(self):
        return WATCHER_XML

    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.items = []

    @dbus.service.method(WATCHER, in_signature="s", out_signature="", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, name, sender=None):
        service, path = (sender, name) if name.startswith("/") else (name, "/StatusNotifierItem")
        self.items.append((service, path))
        report(event="registered", service=service, path=path)
        self.StatusNotifierItemRegistered(service + path)

    @dbus.service.method(WATCHER, in_signature="s", out_signature="")
    def RegisterStatusNotifierHost(self, name):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, name):
        pass

    @dbus.service.signal(WATCHER, signature="")
    def StatusNotifierHostRegistered(self):
        pass

    def properties(self):
        return {
            "RegisteredStatusNotifierItems": dbus.Array([s + p for s, p in self.items], signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.properties()[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.properties()


class Notifications(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.last = 0

    @dbus.service.method(NOTIFICATIONS, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, title, body, actions, hints, timeout):
        self.last = int(replaces) or self.last + 1
        report(event="notify", id=self.last, app=str(app), icon=str(icon), title=str(title), body=str(body),
               actions=plain(actions), hints=plain(hints), timeout=int(timeout))
        return dbus.UInt32(self.last)

    @dbus.service.method(NOTIFICATIONS, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(NOTIFICATIONS, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("stand-in", "tessaro-tests", "1", "1.2")

    @dbus.service.method(NOTIFICATIONS, in_signature="u", out_signature="")
    def CloseNotification(self, nid):
        self.NotificationClosed(nid, 3)

    @dbus.service.signal(NOTIFICATIONS, signature="us")
    def ActionInvoked(self, nid, key):
        pass

    @dbus.service.signal(NOTIFICATIONS, signature="uu")
    def NotificationClosed(self, nid, reason):
        pass


def menu_of(bus, watcher):
    service, path = watcher.items[-1]
    item = bus.get_object(service, path)
    menu_path = str(item.Get("org.kde.StatusNotifierItem", "Menu", dbus_interface=PROPERTIES))
    labels, ids = [], []
    if menu_path != "/NO_DBUSMENU":
        menu = bus.get_object(service, menu_path)
        _, layout = menu.GetLayout(0, -1, [], dbus_interface="com.canonical.dbusmenu")
        for child in layout[2]:
            labels.append(str(child[1].get("label", "")))
            ids.append(int(child[0]))
    return service, menu_path, labels, ids


def command(line, bus, watcher, notifications):
    words = line.split()
    if not words:
        return
    try:
        if words[0] == "menu":
            _, path, labels, ids = menu_of(bus, watcher)
            report(event="menu", path=path, labels=labels, ids=ids)
        elif words[0] == "click":
            service, path, _, _ = menu_of(bus, watcher)
            menu = bus.get_object(service, path)
            menu.Event(dbus.Int32(int(words[1])), "clicked", dbus.Int32(0, variant_level=1),
                       dbus.UInt32(int(time.time())), dbus_interface="com.canonical.dbusmenu")
            report(event="clicked", id=int(words[1]))
        elif words[0] == "invoke":
            notifications.ActionInvoked(dbus.UInt32(notifications.last), "default")
            report(event="invoked", id=notifications.last)
    except (dbus.DBusException, IndexError) as error:
        report(event="error", command=line.strip(), text=str(error))


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus)
    notifications = Notifications(bus)
    names = [dbus.service.BusName(WATCHER, bus), dbus.service.BusName(NOTIFICATIONS, bus)]
    loop = GLib.MainLoop()

    def on_input(source, condition):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        command(line, bus, watcher, notifications)
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, on_input)
    report(event="ready", names=len(names))
    loop.run()


if __name__ == "__main__":
    main()
