#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A file system with one file, disk.img: the bytes of an image file, read-only, with
reads that fail or dawdle where a control file says so. Every read that reaches it is
logged, so that a test can count what the device was asked for.

    failing_disk_fs.py IMAGE CONTROL LOG MOUNTPOINT

The control file is read again whenever it changes (write it anew and rename it over
the old one). Its lines:

    fail FIRST COUNT       sectors FIRST ... FIRST+COUNT-1 fail with EIO
    slow FIRST COUNT MS    a read touching those sectors takes MS milliseconds longer (MS may
                           have a fraction: 0.5)
    gone                   every read fails with ENODEV, as on a disk that was pulled
    dies-after GOOD        after GOOD reads that succeed, every read fails with EIO

A read fails as a whole when it touches one failing sector, as a disk's command does.
The log gets one line per read: byte offset, byte count, and "ok" or the error's name.
"""

import errno
import os
import stat
import sys
import threading
import time

from fusepy import FUSE, FuseOSError, Operations

SECTOR = 512
NAME = "/disk.img"


class Behaviour:
    def __init__(self):
        self.failing = []  # (first, end) sector ranges
        self.slow = []     # (first, end, seconds)
        self.gone = False
        self.dies_after = None  # good reads left before every read fails

    @staticmethod
    def parse(text):
        behaviour = Behaviour()
        for line in text.splitlines():
            words = line.split("#", 1)[0].split()
            if not words:
                continue
            if words[0] == "fail":
                first, count = int(words[1]), int(words[2])
                behaviour.failing.append((first, first + count))
            elif words[0] == "slow":
                first, count = int(words[1]), int(words[2])
                behaviour.slow.append((first, first + count, float(words[3]) / 1000.0))
            elif words[0] == "gone":
                behaviour.gone = True
            elif words[0] == "dies-after":
                behaviour.dies_after = int(words[1])
        return behaviour


class FailingDisk(Operations):
    def __init__(self, image, control, log):
        self.image = os.open(image, os.O_RDONLY)
        self.size = os.fstat(self.image).st_size
        self.control = control
        self.control_key = None
        self.behaviour = Behaviour()
        self.log = open(log, "a", buffering=1)
        self.mutex = threading.Lock()

    def current(self):
        try:
            info = os.stat(self.control)
            key = (info.st_ino, info.st_mtime_ns, info.st_size)
        except FileNotFoundError:
            key = None
        if key != self.control_key:
            text = ""
            if key is not None:
                with open(self.control) as control_file:
                    text = control_file.read()
            self.behaviour = Behaviour.parse(text)
            self.control_key = key
        return self.behaviour

    def getattr(self, path, fh=None):
        now = time.time()
        if path == "/":
            return dict(st_mode=stat.S_IFDIR | 0o555, st_nlink=2, st_atime=now, st_mtime=now, st_ctime=now)
        if path == NAME:
            return dict(st_mode=stat.S_IFREG | 0o444, st_nlink=1, st_size=self.size,
                        st_atime=now, st_mtime=now, st_ctime=now)
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        return [".", "..", NAME[1:]]

    def open(self, path, flags):
        if path != NAME:
            raise FuseOSError(errno.ENOENT)
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise FuseOSError(errno.EROFS)
        return 0

    def read(self, path, size, offset, fh):
        with self.mutex:
            behaviour = self.current()
            first = offset // SECTOR
            end = (offset + size + SECTOR - 1) // SECTOR
            delay = sum(s for (a, b, s) in behaviour.slow if a < end and first < b)
            if behaviour.gone:
                error = errno.ENODEV
            elif any(a < end and first < b for (a, b) in behaviour.failing):
                error = errno.EIO
            elif behaviour.dies_after is not None and behaviour.dies_after <= 0:
                error = errno.EIO
            else:
                error = 0
                if behaviour.dies_after is not None:
                    behaviour.dies_after -= 1
            self.log.write("%d %d %s\n" % (offset, size, errno.errorcode[error] if error else "ok"))
        if delay:
            time.sleep(delay)
        if error:
            raise FuseOSError(error)
        return os.pread(self.image, size, offset)


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: failing_disk_fs.py IMAGE CONTROL LOG MOUNTPOINT")
    image, control, log, mountpoint = sys.argv[1:]
    # direct_io: no cache between the loop device and this file, so every read of the
    # device arrives here as it was asked for.
    FUSE(FailingDisk(image, control, log), mountpoint, foreground=True, ro=True,
         direct_io=True, nothreads=True)


if __name__ == "__main__":
    main()
