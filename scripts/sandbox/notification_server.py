"""The sandbox's notification server: org.freedesktop.Notifications on the session bus.

usage: notification_server.py RECORD CLICK

Appends one JSON line per Notify call to RECORD (id, app, replaces, summary, body, actions,
hints that are strings). With CLICK "1" it then clicks the notification as a person would,
sending ActionInvoked(id, "default") half a second later.
"""
import json
import sys

from gi.repository import Gio, GLib

INTERFACE = """<node><interface name="org.freedesktop.Notifications">
  <method name="GetCapabilities"><arg direction="out" type="as"/></method>
  <method name="Notify">
    <arg direction="in" type="s"/><arg direction="in" type="u"/><arg direction="in" type="s"/>
    <arg direction="in" type="s"/><arg direction="in" type="s"/><arg direction="in" type="as"/>
    <arg direction="in" type="a{sv}"/><arg direction="in" type="i"/>
    <arg direction="out" type="u"/>
  </method>
  <method name="CloseNotification"><arg direction="in" type="u"/></method>
  <method name="GetServerInformation">
    <arg direction="out" type="s"/><arg direction="out" type="s"/>
    <arg direction="out" type="s"/><arg direction="out" type="s"/>
  </method>
  <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
  <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
</interface></node>"""
PATH = "/org/freedesktop/Notifications"
NAME = "org.freedesktop.Notifications"

record_path, click = sys.argv[1], sys.argv[2] == "1"
next_id = 0


def emit(connection, signal, args):
    connection.emit_signal(None, PATH, NAME, signal, args)
    return GLib.SOURCE_REMOVE


def on_call(connection, sender, path, interface, method, params, invocation):
    global next_id
    if method == "GetCapabilities":
        invocation.return_value(GLib.Variant("(as)", (["actions", "body", "sound"],)))
    elif method == "GetServerInformation":
        invocation.return_value(GLib.Variant("(ssss)", ("sandbox", "lumivo", "1", "1.2")))
    elif method == "CloseNotification":
        invocation.return_value(None)
        GLib.idle_add(emit, connection, "NotificationClosed",
                      GLib.Variant("(uu)", (params[0], 3)))
    elif method == "Notify":
        app, replaces, _icon, summary, body, actions, hints, _timeout = params.unpack()
        if replaces:
            nid = replaces
        else:
            next_id += 1
            nid = next_id
        with open(record_path, "a") as out:
            out.write(json.dumps({
                "id": nid, "app": app, "replaces": replaces, "summary": summary,
                "body": body, "actions": actions,
                "hints": {k: v for k, v in hints.items() if isinstance(v, str)},
            }) + "\n")
        invocation.return_value(GLib.Variant("(u)", (nid,)))
        if click:
            GLib.timeout_add(500, emit, connection, "ActionInvoked",
                             GLib.Variant("(us)", (nid, "default")))


def on_bus(connection, _name):
    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)
    connection.register_object(PATH, node.interfaces[0], on_call, None, None)


Gio.bus_own_name(Gio.BusType.SESSION, NAME, Gio.BusNameOwnerFlags.NONE, on_bus, None,
                 lambda *_: sys.exit(1))
GLib.MainLoop().run()
