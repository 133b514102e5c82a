#!/usr/bin/python3
"""A stand-in for the desktop's notification service on a private session bus.

Each Notify call is appended to the record file as one JSON line (app name, summary, body,
actions). Right after answering, the service either takes the notice's default action
(--invoke-default: ActionInvoked "default", then NotificationClosed) or lets the notice expire
(NotificationClosed, reason 1), so the caller never waits for a person. The ready file appears
once the service's name is owned.
"""
import argparse
import json

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"


class Notifications(dbus.service.Object):
    def __init__(self, bus, record, invoke_default):
        super().__init__(bus, PATH)
        self.record = record
        self.invoke_default = invoke_default
        self.last_id = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, icon, summary, body, actions, hints, timeout):
        self.last_id += 1
        with open(self.record, "a", encoding="utf-8") as out:
            out.write(json.dumps({"app": str(app_name), "summary": str(summary),
                                  "body": str(body), "actions": [str(a) for a in actions]},
                                 ensure_ascii=False) + "\n")
        GLib.idle_add(self.answer, self.last_id)
        return self.last_id

    def answer(self, notice_id):
        if self.invoke_default:
            self.ActionInvoked(notice_id, "default")
            self.NotificationClosed(notice_id, 2)
        else:
            self.NotificationClosed(notice_id, 1)
        return False

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, notice_id):
        self.NotificationClosed(notice_id, 3)

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, notice_id, action):
        pass

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, notice_id, reason):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--record", required=True)
    parser.add_argument("--ready", required=True)
    parser.add_argument("--invoke-default", action="store_true")
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    service = Notifications(bus, args.record, args.invoke_default)
    name = dbus.service.BusName(NAME, bus)
    with open(args.ready, "w", encoding="utf-8") as ready:
        ready.write("ready\n")
    GLib.MainLoop().run()
    del service, name


if __name__ == "__main__":
    main()
