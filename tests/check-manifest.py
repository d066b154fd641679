#!/usr/bin/env python3
"""Checks the application manifest of a built installer, read from the PE file itself.

    check-manifest.py FILE.exe

It must be resource 1 of type 24 (RT_MANIFEST), the only manifest, and hold exactly: an identity
naming the file's own processor; the trust element asking for administrator rights
(requestedExecutionLevel requireAdministrator with uiAccess false); and the compatibility element
naming, by their supportedOS identifiers, Windows Vista, 7, 8, 8.1 and 10/11, so that Windows 8.1
to 11 report their own version to the program and the Program Compatibility Assistant does not
treat it as a legacy installer. No dependency (the common controls 6 would theme the window), no
DPI or other settings.

Both elements must be written the way Windows XP SP2 and SP3 load them, the form Inno Setup and
NSIS use: each in its own namespace (asm.v3, compatibility.v1), declared once as the element's
default namespace, with unprefixed children. XP refuses a trustInfo left in the asm.v1 namespace,
and an element that declares the same namespace twice, as a prefix and as the default, crashes the
loader of SP2 without hotfix KB921337; an element in a namespace XP does not know (compatibility.v1)
is skipped by its loader, as Windows Vista skips it too.
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peimage  # noqa: E402

RT_MANIFEST = 24
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT_V1 = "urn:schemas-microsoft-com:compatibility.v1"
# supportedOS identifiers, in this order: Vista, 7, 8, 8.1, 10 and 11.
SUPPORTED_OS = [
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
]


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = f.read()
    try:
        machine, res = peimage.resources(data)
    except peimage.NotAnImage as e:
        fail("%s: %s" % (path, e))
    manifests = [(rid, body) for rtype, rid, _, body in res if rtype == RT_MANIFEST]
    if not manifests:
        fail("%s carries no manifest (resource type 24)" % path)
    if [rid for rid, _ in manifests] != [1]:
        fail("manifest resources %s, expected only id 1" % [rid for rid, _ in manifests])
    body = manifests[0][1]
    if body.startswith(b"\xef\xbb\xbf"):
        fail("the manifest starts with a byte-order mark")
    text = body.decode("ascii")

    try:
        root = ET.fromstring(body)
    except ET.ParseError as e:
        fail("the manifest is no well-formed XML: %s" % e)
    if root.tag != "{%s}assembly" % ASM_V1 or root.get("manifestVersion") != "1.0":
        fail("root element %s, expected asm.v1 assembly of version 1.0" % root.tag)

    # Every element, with its namespace: nothing beyond identity, trust and compatibility.
    tags = [e.tag for e in root.iter()]
    expected = ["{%s}assembly" % ASM_V1, "{%s}assemblyIdentity" % ASM_V1,
                "{%s}trustInfo" % ASM_V3, "{%s}security" % ASM_V3,
                "{%s}requestedPrivileges" % ASM_V3, "{%s}requestedExecutionLevel" % ASM_V3,
                "{%s}compatibility" % COMPAT_V1, "{%s}application" % COMPAT_V1] + \
               ["{%s}supportedOS" % COMPAT_V1] * len(SUPPORTED_OS)
    if tags != expected:
        fail("elements %s, expected %s" % (tags, expected))

    level = root.find(".//{%s}requestedExecutionLevel" % ASM_V3)
    if level.attrib != {"level": "requireAdministrator", "uiAccess": "false"}:
        fail("requestedExecutionLevel %s" % level.attrib)

    ids = [e.attrib for e in root.iter("{%s}supportedOS" % COMPAT_V1)]
    if ids != [{"Id": i} for i in SUPPORTED_OS]:
        fail("supportedOS %s, expected Vista, 7, 8, 8.1 and 10/11: %s" % (ids, SUPPORTED_OS))

    identity = root.find("{%s}assemblyIdentity" % ASM_V1)
    arch = {0x14C: "x86", 0x8664: "amd64"}.get(machine)
    if identity.get("processorArchitecture") != arch or identity.get("type") != "win32":
        fail("assemblyIdentity %s for machine 0x%X" % (identity.attrib, machine))

    # The spelling XP SP2 needs: no prefixes, and the asm.v3 namespace declared exactly once,
    # as the default namespace of trustInfo.
    if re.search(r"<\s*/?\s*[A-Za-z_][\w.-]*:", text) or "xmlns:" in text:
        fail("the manifest uses namespace prefixes")
    declarations = re.findall(r'<(\w+)[^>]*\sxmlns="([^"]*)"', text)
    if declarations != [("assembly", ASM_V1), ("trustInfo", ASM_V3),
                        ("compatibility", COMPAT_V1)]:
        fail("namespace declarations %s" % declarations)
    for word in ("Common-Controls", "dependency", "dpiAware", "windowsSettings", "maxversiontested"):
        if word in text:
            fail("the manifest mentions %s" % word)

    print("ok: %s carries manifest 1: requireAdministrator, uiAccess false, %s, supported "
          "Vista to 11, nothing else" % (path, arch))


main()
