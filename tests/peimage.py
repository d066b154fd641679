"""Reading a PE file's headers and resources, for the static checks of the built programs."""
import struct


class NotAnImage(ValueError):
    pass


def header(data):
    """(machine, subsystem, sections): sections as (name, rva, size in memory, file offset)."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        raise NotAnImage("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise NotAnImage("not a PE file")
    machine, count = struct.unpack_from("<HH", data, pe + 4)
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    subsystem = struct.unpack_from("<H", data, pe + 24 + 68)[0]  # same offset in PE32 and PE32+
    at = pe + 24 + optional_size
    out = []
    for i in range(count):
        name, vsize, vaddr, rsize, raddr = struct.unpack_from("<8sIIII", data, at + 40 * i)
        out.append((name.rstrip(b"\0"), vaddr, max(vsize, rsize), raddr))
    return machine, subsystem, out


def resources(data):
    """(machine, [(type, id, language, bytes)]) for every resource; a named type or id is its
    name as a string, a numbered one its number."""
    machine, _, secs = header(data)
    rsrc = [s for s in secs if s[0] == b".rsrc"]
    if not rsrc:
        raise NotAnImage("no resource section")
    _, vaddr, _, raddr = rsrc[0]

    def name_at(offset):
        length = struct.unpack_from("<H", data, raddr + offset)[0]
        return data[raddr + offset + 2:raddr + offset + 2 + 2 * length].decode("utf-16-le")

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, raddr + offset + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, raddr + offset + 16 + 8 * i)
            key = name_at(name & 0x7FFFFFFF) if name & 0x80000000 else name
            yield key, target

    out = []
    for rtype, t in entries(0):
        for rid, n in entries(t & 0x7FFFFFFF):
            for lang, leaf in entries(n & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, raddr + leaf)
                start = rva - vaddr + raddr
                out.append((rtype, rid, lang, data[start:start + size]))
    return machine, out


RT_RCDATA = 10
RT_VERSION = 16


def file_version(res):
    """The file version of the first version resource (VS_FIXEDFILEINFO), as "a.b.c.d"."""
    for rtype, _, _, body in res:
        if rtype == RT_VERSION:
            at = body.find(struct.pack("<I", 0xFEEF04BD))
            if at < 0:
                raise NotAnImage("a version resource without VS_FIXEDFILEINFO")
            ms, ls = struct.unpack_from("<II", body, at + 8)
            return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    raise NotAnImage("no version resource")
