#!/usr/bin/env python3
"""Import audit of a built installer: every DLL!function in its import table must be in the
project's list, with a first Windows version no newer than Windows XP (NT 5.1); a function the
list names as looked up at run time must not be imported at all.

    import-audit.py FILE.exe imports.list [--objdump TOOL]
"""
import argparse
import re
import subprocess
import sys

XP = (5, 1)


def read_list(path):
    entries = {}
    for number, line in enumerate(open(path, encoding="ascii"), 1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        fields = line.split()
        dll, _, function = fields[0].partition("!")
        name, level = f"{dll.lower()}!{function}", fields[1]
        runtime = len(fields) > 2 and fields[2] == "runtime"
        if level == "crt":
            version = (5, 0)
        elif re.fullmatch(r"\d+\.\d+", level):
            version = tuple(int(p) for p in level.split("."))
        else:
            sys.exit(f"{path}:{number}: bad version {level!r}")
        entries[name] = (version, runtime)
    return entries


def read_imports(exe, objdump):
    dump = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    imports, dll = [], None
    for line in dump.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            continue
        if not line.strip():
            dll = None
            continue
        # "\t<vma>\t <hint>  <name>" (a name) or "\t<vma>\t <ordinal>" (by ordinal)
        m = re.match(r"\t[0-9a-f]+\t\s*(\d+)(?:\s+(\S+))?\s*$", line)
        if dll and m:
            imports.append(f"{dll}!{m.group(2) or '#' + m.group(1)}")
    return imports


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("exe")
    ap.add_argument("list")
    ap.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    args = ap.parse_args()
    allowed = read_list(args.list)
    imports = read_imports(args.exe, args.objdump)
    if not imports:
        print(f"FAIL: no imports read from {args.exe}")
        return 1
    failures = []
    for name in imports:
        if name not in allowed:
            failures.append(f"{name}: imported but not in {args.list}")
            continue
        version, runtime = allowed[name]
        if runtime:
            failures.append(f"{name}: must be looked up at run time, but is imported")
        elif version > XP:
            failures.append(f"{name}: needs Windows NT {version[0]}.{version[1]}, newer than XP")
    for f in failures:
        print("FAIL:", f)
    if failures:
        return 1
    dlls = sorted({n.split("!")[0] for n in imports})
    print(f"ok: {args.exe}: {len(imports)} imports from {', '.join(dlls)}, all in Windows XP")
    return 0


if __name__ == "__main__":
    sys.exit(main())
