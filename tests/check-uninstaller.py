#!/usr/bin/env python3
"""Checks the uninstaller a built installer carries, read from the PE files themselves.

    check-uninstaller.py INSTALLER.exe UNINSTALLER.exe RESOURCE_HEADER

The installer must carry exactly one RT_RCDATA resource of the number RESOURCE_HEADER
(tasks/UninstallerResource.h) defines, outside the payload's rows 1 to 82, in Portuguese (Brazil)
as the payload; its bytes must be UNINSTALLER.exe as the build left it (signed, in a signed site
build), a program of the installer's processor and subsystem with the installer's file version,
carrying no payload row and no uninstaller of its own, and every other resource of the installer
(icons, banner, version block, manifest) byte for byte, nothing more.
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peimage  # noqa: E402

PAYLOAD_ROWS = range(1, 83)
PORTUGUESE_BRAZIL = 0x0416


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        fail("%s cannot be read: %s" % (path, e))


def main():
    installer_path, uninstaller_path, header_path = sys.argv[1:4]
    found = re.findall(r"^#define\s+KESTREL_UNINSTALLER_RESOURCE\s+(\d+)\s*$", read(header_path).decode(),
                       re.M)
    if len(found) != 1:
        fail("%s defines KESTREL_UNINSTALLER_RESOURCE %d times" % (header_path, len(found)))
    number = int(found[0])
    if number in PAYLOAD_ROWS:
        fail("the uninstaller's resource %d is one of the payload's rows" % number)

    installer = read(installer_path)
    try:
        machine, installer_res = peimage.resources(installer)
        _, subsystem, _ = peimage.header(installer)
        version = peimage.file_version(installer_res)
    except peimage.NotAnImage as e:
        fail("%s: %s" % (installer_path, e))
    carried = [(lang, body) for rtype, rid, lang, body in installer_res
               if rtype == peimage.RT_RCDATA and rid == number]
    if len(carried) != 1:
        fail("%s carries %d RT_RCDATA resources %d, not one" % (installer_path, len(carried), number))
    lang, body = carried[0]
    if lang != PORTUGUESE_BRAZIL:
        fail("the uninstaller's resource has language 0x%04X, not 0x%04X" % (lang, PORTUGUESE_BRAZIL))
    if body != read(uninstaller_path):
        fail("the uninstaller carried (%d bytes) is not %s (%d bytes)"
             % (len(body), uninstaller_path, len(read(uninstaller_path))))

    try:
        u_machine, u_res = peimage.resources(body)
        _, u_subsystem, _ = peimage.header(body)
        u_version = peimage.file_version(u_res)
    except peimage.NotAnImage as e:
        fail("the uninstaller carried: %s" % e)
    if (u_machine, u_subsystem) != (machine, subsystem):
        fail("the uninstaller is machine 0x%X subsystem %d, the installer 0x%X subsystem %d"
             % (u_machine, u_subsystem, machine, subsystem))
    if u_version != version:
        fail("the uninstaller's file version %s, the installer's %s" % (u_version, version))
    rows = sorted(rid for rtype, rid, _, _ in u_res
                  if rtype == peimage.RT_RCDATA and (rid in PAYLOAD_ROWS or rid == number))
    if rows:
        fail("the uninstaller carries RT_RCDATA resources %s" % rows)

    def key(r):
        return (str(r[0]), str(r[1]), r[2])

    others = sorted((r for r in installer_res
                     if not (r[0] == peimage.RT_RCDATA and (r[1] in PAYLOAD_ROWS or r[1] == number))),
                    key=key)
    if sorted(u_res, key=key) != others:
        fail("the uninstaller's resources %s are not the installer's others %s"
             % ([key(r) for r in sorted(u_res, key=key)], [key(r) for r in others]))

    print("ok: %s carries %s as RT_RCDATA %d (%d bytes, machine 0x%X, version %s, no payload, the "
          "installer's %d other resources)" % (installer_path, uninstaller_path, number, len(body),
                                               machine, version, len(others)))


main()
