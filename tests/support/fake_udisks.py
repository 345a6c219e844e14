#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# A stand-in for the udisks2 daemon on a test's own bus: one USB disk whose device is a
# disk image (with a partition beside it, which is no whole disk), the object manager's
# GetManagedObjects and the block's OpenDevice/OpenForBackup. Every call is written to
# the call log as "OpenDevice <mode>" or "OpenForBackup"; only mode "r" is served.
#   fake_udisks.py ADDRESS IMAGE CALL_LOG READY_FILE ANSWER
# ANSWER: "grant" (a read-only descriptor of IMAGE), "refuse" (NotAuthorized),
# "writable" (a descriptor open for reading and writing: a daemon that must not be trusted).
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

address, image, call_log, ready_file, answer = sys.argv[1:6]
ROOT = "/org/freedesktop/UDisks2"
BLOCK = "org.freedesktop.UDisks2.Block"
DISK = ROOT + "/block_devices/sdx"
PART = ROOT + "/block_devices/sdx1"
DRIVE = ROOT + "/drives/Recorder_Disk_4711"


def path_bytes(path):
    return dbus.Array([dbus.Byte(b) for b in path.encode() + b"\0"], signature="y")


def log_call(text):
    with open(call_log, "a") as log:
        log.write(text + "\n")


class Manager(dbus.service.Object):
    @dbus.service.method("org.freedesktop.DBus.ObjectManager", in_signature="",
                         out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        size = dbus.UInt64(os.path.getsize(image))
        block = {"Device": path_bytes(image), "Size": size, "Drive": dbus.ObjectPath(DRIVE),
                 "ReadOnly": dbus.Boolean(False)}
        part = dict(block, Device=path_bytes(image + "1"), Size=dbus.UInt64(512))
        drive = {"Vendor": "SAMSUNG", "Model": "HD160JJ", "ConnectionBus": "usb", "Size": size}
        return {dbus.ObjectPath(DISK): {BLOCK: block},
                dbus.ObjectPath(PART): {BLOCK: part, "org.freedesktop.UDisks2.Partition": {
                    "Number": dbus.UInt32(1)}},
                dbus.ObjectPath(DRIVE): {"org.freedesktop.UDisks2.Drive": drive}}


class Block(dbus.service.Object):
    def hand_out(self, mode):
        if answer == "refuse":
            raise dbus.exceptions.DBusException(
                "Not authorized to perform operation",
                name="org.freedesktop.UDisks2.Error.NotAuthorized")
        if mode != "r":
            raise dbus.exceptions.DBusException("only reading is served here",
                                                name="org.freedesktop.UDisks2.Error.Failed")
        fd = os.open(image, os.O_RDWR if answer == "writable" else os.O_RDONLY)
        try:
            return dbus.types.UnixFd(fd)
        finally:
            os.close(fd)

    @dbus.service.method(BLOCK, in_signature="sa{sv}", out_signature="h")
    def OpenDevice(self, mode, options):
        log_call("OpenDevice " + mode)
        return self.hand_out(mode)

    @dbus.service.method(BLOCK, in_signature="a{sv}", out_signature="h")
    def OpenForBackup(self, options):
        log_call("OpenForBackup")
        return self.hand_out("r")


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(address)
name = dbus.service.BusName("org.freedesktop.UDisks2", bus)
Manager(bus, ROOT)
Block(bus, DISK)
with open(ready_file, "w") as ready:
    ready.write("ready\n")
GLib.MainLoop().run()
