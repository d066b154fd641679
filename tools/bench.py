#!/usr/bin/env python3
"""Benchmark of the installer under Wine against generic installers and a floor doing the same job.

Builds the installer (64-bit test build, Wine's native loader), two NSIS installers of the same
job (bench/peer.nsi, built here with makensis from the installer's own tables: the job alone, and
the job with the installer's guarantees), the floor (bench/floor.cpp: the job by straight Win32
calls), prepares one Wine prefix with a warm wineserver, and measures over N rounds (after one
warm-up, the steps rotated so that machine drift hits all alike), each step from a clean state:
  click_to_done  click on "&Instalar" to "&Cancelar" enabled again (first installation, all options)
  startup        process start to the window visible with "&Instalar" focused
  whole_process  start, install, close, exit
  nsis           the NSIS peer's whole process (peer.exe /S /NCRC), the same job without guarantees
  unattended     the installer's first installation with /VERYSILENT (what a fleet runs)
  reinstall      then /VERYSILENT again over that identical installation
  noreinstall    then /VERYSILENT /NOREINSTALL, which ends with 3 and writes nothing (the idle
                 unattended start, for memory)
  held           then /VERYSILENT again while this driver has a payload DLL loaded: the exit
                 code, the PendingFileRenameOperations entries added and the files modified are
                 reported as facts
  guaranteed     the peer with the installer's guarantees, first installation (peer-guarantees.exe /S)
  guaranteed_reinstall  the same peer again over its own identical installation
  floor          the floor, first installation
  silent         the installer's whole process with /SILENT (its window shows the run and closes)
  nsis_window    the peer with its own progress window, closing itself (peer.exe /NCRC)
  xcopy          Wine's xcopy of the same payload files into fresh folders (one process)
  empty_process  an empty Win32 window program (the floor of a process start)
  peak private memory of the runs, of the idle starts (with the window: started and closed; without:
  the /NOREINSTALL start) and of the empty window program
  size           the product executable minus its payload bytes
Ratios are also given per round (the two runs seconds apart), the median of those being steadier
on a busy machine than a ratio of medians.
The session's desktop is there before every run, as on Windows: a hidden window program keeps it
for the whole benchmark. (Wine starts the desktop process for the first program that needs a
window and ends it a second after the last one; left to that, a run would pay its start or not
by the timing of the run before.)
Every run is checked after it ends: files by content, registry values and links; for the
installer, the guarantees' peer and the floor also the shared-file and driver counts, the
uninstaller and the Programs and Features entry (written after the files), and, for the runs
that wait for their registrations, both registrations done when the process ended; xcopy's files
by content; every exit code. A run that did not do its work is a FAIL (exit code 1), never a
figure. The held-DLL run's exit code 3010 is a finding, not a FAIL.
--trace N adds N times an unattended first installation, reinstall and held-DLL reinstall with a
log, and prints the time of every log line and of every named step: a line "Etapa: NAME" of the
log starts the step NAME, which lasts to the next such line or the log's last line (--trace-file
LOG reads a log given).
"""
import argparse
import filecmp
import glob
import os
import shutil
import statistics
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PAYLOAD_BYTES = 32506252
BUILD = f"{ROOT}/build/test"
WORK = f"{BUILD}/bench"  # this worktree's own: other checkouts benchmark beside it
SETTINGS = {
    "LocalApp": "D:\\Kestrel\\Kestrel.exe", "RemoteApp": "S:\\Kestrel\\Kestrel.exe",
    "IPServidor": "192.168.0.10", "Porta": "5432", "BancoDados": "kestreldb",
}
# Ratios taken within each round (the two runs seconds apart), besides the ratios of medians.
# Ratios taken within each round (the two runs seconds apart), besides the ratios of medians.
PAIRS = [("unattended", "guaranteed"), ("unattended", "floor"), ("reinstall", "guaranteed_reinstall"),
         ("unattended", "nsis"), ("click_to_done", "nsis"), ("whole_process", "nsis"),
         ("silent", "nsis_window")]
# The goals: the figure (a ratio of the per-round medians, or KB) and the most it may be.
GOALS = [("first installation / the guarantees' peer", ("unattended", "guaranteed"), 1.0),
         ("first installation / the floor", ("unattended", "floor"), 1.05),
         ("reinstall / the guarantees' peer's reinstall", ("reinstall", "guaranteed_reinstall"), 0.5)]
STEPS = ["install", "nsis", "unattended", "guaranteed", "floor", "silent", "nsis_window", "xcopy",
         "empty"]
# The payload DLL the held run keeps loaded: one of the sample payload's two real DLLs (the COM
# stand-ins; the other rows are random bytes no loader takes).
HELD_DLL = "capicom.dll"
SHELL_FOLDERS = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"


def sh(*args, **kw):
    return subprocess.run(args, check=True, **kw)


def wine_env(prefix):
    env = dict(os.environ)
    out = subprocess.run(["bash", "-c", f"source {ROOT}/tests/wine-env.sh; env"],
                         capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        if "=" in line:
            k, v = line.split("=", 1)
            if k.startswith("WINE") or k.startswith("KESTREL"):
                env[k] = v
    env["WINEPREFIX"] = prefix
    return env


class Wine:
    def __init__(self, prefix):
        self.env = wine_env(prefix)
        self.prefix = prefix

    def run(self, *args, check=True):
        with open(f"{WORK}/wine.out", "ab") as out:
            r = subprocess.run([self.env["WINE"], *args], env=self.env, stdin=subprocess.DEVNULL,
                               stdout=out, stderr=out)
        if check and r.returncode != 0:
            raise RuntimeError(f"wine {' '.join(args)} exited {r.returncode}")
        return r.returncode

    def c(self, *parts):
        return os.path.join(self.prefix, "drive_c", *parts)


def find_ci(base, *names):
    """Resolves a path below base, matching each element without regard to case (as Wine does)."""
    path = base
    for name in names:
        if not os.path.isdir(path):
            return None
        match = [e for e in os.listdir(path) if e.lower() == name.lower()]
        if not match:
            return None
        path = os.path.join(path, match[0])
    return path


class Sampler:
    """Samples the peak RssAnon (private memory) of the Linux process whose command line holds
    name. With release set, it creates that file once it has sampled the process after marker
    appeared in the result file (the shown window), so that the driver may close it. The
    processes found are read again every 2 ms; /proc is searched for new ones every 10th time
    (or while none is known). figure() is the peak, or None when the process was sampled fewer
    than 3 times (a figure is only given for a process that was seen)."""

    def __init__(self, name, prefix, result=None, marker=None):
        self.name, self.prefix, self.result, self.marker = name, prefix, result, marker
        self.peak, self.samples, self.stop = 0, 0, threading.Event()
        self.pids = []
        self.thread = threading.Thread(target=self.loop)
        self.thread.start()

    def sample(self, search):
        if search or not self.pids:
            self.pids = prefix_processes(self.prefix, self.name)  # not another checkout's
        seen = False
        for pid in self.pids:
            try:
                with open(f"/proc/{pid}/status") as f:
                    for line in f:
                        if line.startswith("RssAnon:"):
                            self.peak = max(self.peak, int(line.split()[1]))
                            seen = True
            except OSError:
                pass
        self.samples += seen

    def shown(self):
        try:
            with open(self.result, encoding="cp1252") as f:
                return any(line.split()[:1] == [self.marker] for line in f)
        except OSError:
            return False

    def loop(self):
        released = self.result is None
        n = 0
        while not self.stop.is_set():
            was_shown = not released and self.shown()
            self.sample(n % 10 == 0)
            n += 1
            if was_shown:
                open(self.result + ".release", "w").close()
                released = True
            time.sleep(0.002)

    def finish(self):
        self.stop.set()
        self.thread.join()
        return self.peak if self.samples >= 3 else None


def prefix_processes(prefix, name):
    """The Linux processes of prefix whose command line holds name."""
    found = []
    tag = b"WINEPREFIX=" + prefix.encode() + b"\0"
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                if name.encode() not in f.read():
                    continue
            with open(f"/proc/{pid}/environ", "rb") as f:
                if tag in f.read():
                    found.append(pid)
        except OSError:
            pass
    return found


def nsis_string(text):
    return text.replace("$", "$$").replace('"', '$\\"')


def read_log(path):
    """The lines of an installation log as (seconds since midnight, text)."""
    stamps = []
    with open(path, encoding="cp1252") as f:
        for line in f:
            hms = line[11:23]
            t = int(hms[0:2]) * 3600 + int(hms[3:5]) * 60 + float(hms[6:])
            stamps.append((t, line[25:].rstrip()))
    return stamps


STEP_MARK = "Etapa: "


def named_steps(stamps):
    """The steps the log names: a line "Etapa: NAME" starts the step NAME, which lasts until the
    next such line, else until the log's last line. {name: seconds}, in the log's order."""
    steps = {}
    current = None
    for t, text in stamps:
        if text.startswith(STEP_MARK):
            if current:
                steps[current[0]] = steps.get(current[0], 0.0) + t - current[1]
            current = (text[len(STEP_MARK):].strip(), t)
    if current and stamps:
        steps[current[0]] = steps.get(current[0], 0.0) + stamps[-1][0] - current[1]
    return steps


def print_trace(stamps, title):
    """Each log line's time (until the next line), then the steps the log names. The payload
    rows' lines are summed into one, and so are lines in a row of one kind (the same words
    before their first ": ", such as the shared-file counts)."""
    print(f"\n{title}")
    lines = []  # [seconds, text, kind, lines]
    for (t, text), (t_next, _) in zip(stamps, stamps[1:] + [stamps[-1]]):
        row = text.startswith(("Status: Instalando", "Arquivo gravado", "Arquivo mantido"))
        kind = "payload rows" if row else text.split(": ", 1)[0] if ": " in text else None
        counted = text.startswith("Arquivo") if row else 1  # a payload row: its file's line
        if kind and lines and lines[-1][2] == kind and not text.startswith(STEP_MARK):
            lines[-1][0] += t_next - t
            lines[-1][3] += counted
        else:
            lines.append([t_next - t, text, kind, counted])
    for took, text, kind, n in lines:
        what = (f"payload rows ({n} files)" if kind == "payload rows" else
                text if n == 1 else f"{kind} ({n} lines)")
        print(f"{took * 1000:6.0f} ms  {what[:90]}")
    steps = named_steps(stamps)
    for name, took in steps.items():
        print(f"{took * 1000:6.0f} ms  step \"{name}\"")
    if not steps:
        print(f"        (no step named: no line \"{STEP_MARK}...\" in the log)")
    return steps


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("-n", type=int, default=10, help="measured runs (default 10)")
    ap.add_argument("--no-build", action="store_true")
    ap.add_argument("--installer", metavar="EXE", help="measure this InstaladorHalden.exe (an "
                    "earlier build, say) instead of the test build's, with the same peers and checks")
    ap.add_argument("--only", metavar="STEPS", help="measure only these comma-separated steps "
                    f"({', '.join(STEPS)}); unattended includes its reinstalls, guaranteed its "
                    "reinstall")
    ap.add_argument("--trace", type=int, metavar="N", default=0, help="then N times a /VERYSILENT "
                    "first installation, reinstall and held-DLL reinstall with a log, printing the "
                    "time each line and each named step of the run took (from the log's stamps)")
    ap.add_argument("--trace-file", metavar="LOG", help="only print the trace of this log")
    a = ap.parse_args()
    if a.trace_file:
        print_trace(read_log(a.trace_file), a.trace_file)
        return
    if not os.environ.get("DISPLAY"):
        # The installer needs a display: run again inside a private virtual one.
        os.execvp(f"{ROOT}/tests/with-xvfb.sh", [f"{ROOT}/tests/with-xvfb.sh", sys.executable, *sys.argv])

    if not a.no_build:
        for preset in ("sample", "test"):
            sh("cmake", "--preset", preset, stdout=subprocess.DEVNULL)
            sh("cmake", "--build", "--preset", preset, stdout=subprocess.DEVNULL)
    if not shutil.which("makensis"):
        sys.exit("bench: makensis not found (Debian's nsis package; tools/setup.sh installs it)")
    payload_dir = f"{BUILD}/payload-sample"
    if not os.path.exists(f"{payload_dir}/82"):
        sys.exit("bench: sample payload files not found in the build tree")

    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    prefix = f"{WORK}/prefix"
    subprocess.run(["bash", "-c", f"source {ROOT}/tests/wine-env.sh; ensure_wine_template; "
                    f"copy_wine_prefix \"$KESTREL_WINE_TEMPLATE\" {prefix}"], check=True)
    for d in "fs":
        os.makedirs(f"{WORK}/drive_{d}")
        os.symlink(f"{WORK}/drive_{d}", f"{prefix}/dosdevices/{d}:")
    w = Wine(prefix)
    subprocess.run([w.env["WINESERVER"], "-p"], env=w.env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    setup = f"{WORK}/drive_f/Instalador"
    os.makedirs(setup)
    shutil.copy(a.installer or f"{BUILD}/InstaladorHalden.exe", f"{setup}/InstaladorHalden.exe")
    shutil.copy(f"{BUILD}/floor.exe", f"{setup}/floor.exe")
    with open(f"{setup}/startKestrel.INI", "w", newline="\r\n") as f:
        f.write(f"[Application]\nLocalApp={SETTINGS['LocalApp']}\nRemoteApp={SETTINGS['RemoteApp']}\n"
                f"[Instalacao]\nIPServidor={SETTINGS['IPServidor']}\nPorta={SETTINGS['Porta']}\n"
                f"BancoDados={SETTINGS['BancoDados']}\n")
    os.makedirs(f"{WORK}/drive_s/Kestrel")
    for name in ("Kestrel.exe", "StartKestrel.exe"):
        with open(f"{WORK}/drive_s/Kestrel/{name}", "wb") as f:
            f.write(b"MZ" + bytes(100000))
    for tool in ("benchdrv.exe", "emptywin.exe"):
        shutil.copy(f"{BUILD}/{tool}", w.c(tool))
    # The desktop's keeper: the empty window program, hidden, under a name of its own; it makes
    # keeper.ready once its window exists. Every run is then checked to have found the same desktop.
    shutil.copy(f"{BUILD}/emptywin.exe", w.c("keeper.exe"))
    subprocess.Popen([w.env["WINE"], "C:\\keeper.exe", "hidden", "C:\\keeper.ready"], env=w.env,
                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    while not os.path.exists(w.c("keeper.ready")):
        if time.monotonic() > deadline:
            sys.exit("bench: the desktop's keeper did not show up")
        time.sleep(0.05)
    desktop = prefix_processes(prefix, "explorer.exe")
    if not desktop:
        sys.exit("bench: no desktop process beside the keeper")

    # The installer's tables, from its own code: payload rows, the registry values it writes and
    # the counts it raises, and its version.
    installer = "F:\\Instalador\\InstaladorHalden.exe"
    w.run("C:\\benchdrv.exe", "tables", "C:\\tables.txt", installer)
    rows, values, counts, version = [], [], [], ""
    with open(w.c("tables.txt"), encoding="cp1252") as f:
        for line in f:
            kind, *fields = line.rstrip("\r\n").split("\t")
            if kind == "file":
                rows.append(fields)
            elif kind == "reg":
                values.append(fields)
            elif kind == "count":
                counts.append(fields)
            elif kind == "version":
                version = fields[0]
    if len(rows) != 82 or not values or not counts or not version:
        sys.exit(f"bench: the installer's tables are incomplete ({len(rows)} rows, {len(values)} "
                 f"values, {len(counts)} counts, version \"{version}\")")
    sysdir_win = "C:\\windows\\system32"
    places = {"BdeDir": "C:\\Arquivos de Programas\\Arquivos Comuns\\Borland Shared\\BDE",
              "OdbcDir": "C:\\Arquivos de programas\\PostgreSQL\\psqlODBC\\0804\\bin",
              "SystemDir": sysdir_win}
    fields = dict(places, **SETTINGS)
    # The installer puts LocalApp on the system drive (whatever stands before its first "\").
    local_app = "C:" + SETTINGS["LocalApp"][SETTINGS["LocalApp"].index("\\"):]
    local_folder = local_app.rsplit("\\", 1)[0]
    destinations = [places[row_base] + name for _, row_base, name, _ in rows]
    # Where a 32-bit program's program-files folder is on this 64-bit Windows.
    uninstaller = "C:\\Program Files (x86)\\Tavrin\\Kestrel\\Desinstalar\\DesinstalarKestrel.exe"
    held_dll = f"{sysdir_win}\\{HELD_DLL}"
    if held_dll.lower() not in (d.lower() for d in destinations):
        sys.exit(f"bench: {held_dll} is no payload file")

    def resolve(text):
        for k, v in fields.items():
            text = text.replace("{" + k + "}", v)
        return text

    # Links: the common desktop, the start menu's "Tavrin" and the user's Quick Launch. Wine's
    # prefix has no Quick Launch folder and no "All Users" in "Common AppData": laid out as on a
    # machine with profiles, the installer's walk finds the user's folder that NSIS also uses.
    user = next(u for u in os.listdir(w.c("users")) if u not in ("Public",))
    quick_launch = f"C:\\users\\{user}\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch"
    os.makedirs(w.c("users", user, "AppData", "Roaming", "Microsoft", "Internet Explorer", "Quick Launch"))
    links = ["C:\\users\\Public\\Desktop\\Kestrel.lnk",
             "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tavrin\\Kestrel.lnk",
             quick_launch + "\\Kestrel.lnk"]
    launcher = "S:\\Kestrel\\StartKestrel.exe"
    # What every run must leave: the job (values and links), and for the runs with the
    # installer's guarantees the whole installation besides: each payload file counted once, each
    # driver's UsageCount raised once, the uninstaller, and the entry, written after every file.
    job = []
    for key, name, value in values:
        job.append(f"reg\t{key}\t{name}\t{resolve(value)}")
    for link in links:
        job.append(f"link\t{link}\t{launcher}\t\t{local_folder}")
    uninstall_key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrel"
    payload_bytes = sum(os.path.getsize(f"{payload_dir}/{row}") for row, *_ in rows)
    whole = list(job)
    for path in destinations:
        whole.append(f"dword32\tSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs\t{path}\t1")
    for key, name, value in counts:
        whole.append(f"dword\t{key}\t{name}\t{value}")
    quoted = f"\"{uninstaller}\""
    for name, value in (("DisplayName", "Kestrel"), ("DisplayVersion", version), ("Publisher", "Tavrin"),
                        ("InstallDate", "*"), ("InstallLocation", local_folder),
                        ("DisplayIcon", uninstaller + ",0"), ("UninstallString", quoted + " /UNINSTALL"),
                        ("QuietUninstallString", quoted + " /UNINSTALL /VERYSILENT")):
        whole.append(f"reg32\t{uninstall_key}\t{name}\t{value}")
    whole.append(f"dword32\t{uninstall_key}\tEstimatedSize\t>={payload_bytes // 1024}")
    whole.append(f"dword32\t{uninstall_key}\tNoModify\t1")
    whole.append(f"dword32\t{uninstall_key}\tNoRepair\t1")
    whole.append(f"exe\t{uninstaller}")
    # The entry written after every file: told by the key's last write time. Only for a first
    # installation: Wine keeps a key's time when a value is set to the data it has (a reinstall
    # on the same day rewrites the entry as it was), so over an installation it tells nothing.
    first = whole + [f"after32\t{uninstall_key}\t{path}"
                     for path in destinations + [local_app, uninstaller] + links]
    for name, lines in (("expected-job.txt", job), ("expected-first.txt", first),
                        ("expected-whole.txt", whole),
                        ("files.txt", destinations + [local_app, uninstaller])):
        with open(w.c(name), "w", encoding="cp1252", newline="\r\n") as f:
            f.write("\n".join(lines) + "\n")
    # Every run starts without the values a run writes: the keys the fresh prefix lacks are
    # deleted, the values of the others (an empty data source key would ask to reinstall).
    template_keys = set()
    with open(f"{prefix}/system.reg", encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith("["):
                parts = line[1:line.index("]")].replace("\\\\", "\\").lower().split("\\")
                template_keys.update("\\".join(parts[:n]) for n in range(1, len(parts) + 1))
    with open(w.c("clean.reg"), "w", encoding="utf-16", newline="\r\n") as f:
        f.write("Windows Registry Editor Version 5.00\n\n")
        f.write(f"[{SHELL_FOLDERS}]\n\"Common AppData\"=\"C:\\\\users\\\\All Users\\\\AppData\\\\Roaming\"\n\n")
        # The life-cycle state a finished run leaves, in both registry views: the record of what
        # was placed, the shared-file counts (a fresh prefix has no SharedDLLs key) and the
        # Programs and Features entry. Left in place, the next round would count nothing and find
        # an installation. The sample COM DLLs' marks, the held run's moves at the restart and
        # the registrations after it, which the fresh prefix has none of, go too.
        for view in ("", "Wow6432Node\\"):
            for key in ("Tavrin", "Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                        "Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrel",
                        "Kestrel\\SamplePayload"):
                f.write(f"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\{view}{key}]\n\n")
            f.write(f"[HKEY_LOCAL_MACHINE\\SOFTWARE\\{view}Microsoft\\Windows\\CurrentVersion\\RunOnce]\n")
            f.write("\"Kestrel regsvr32 capicom.dll\"=-\n\"Kestrel regsvr32 msxml5.dll\"=-\n\n")
        f.write("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager]\n"
                "\"PendingFileRenameOperations\"=-\n\n")
        for key in dict.fromkeys(k for k, _, _ in values):
            if key.lower() not in template_keys:
                f.write(f"[-HKEY_LOCAL_MACHINE\\{key}]\n\n")
                continue
            f.write(f"[HKEY_LOCAL_MACHINE\\{key}]\n")
            for k, name, _ in values:
                if k == key:
                    f.write(f"\"{name}\"=-\n")
            f.write("\n")

    # The peers, built for the bed's architecture when makensis has that target, from one
    # generated file of macros (see bench/peer.nsi).
    target = "amd64-unicode" if os.path.exists("/usr/share/nsis/Stubs/zlib-amd64-unicode") else "x86-unicode"

    def nsis_path(row_base, name=""):
        return ("$SYSDIR" if row_base == "SystemDir" else "$" + row_base) + nsis_string(name)

    with open(f"{WORK}/peer-tables.nsh", "w", encoding="utf-8-sig") as f:
        f.write("; Generated by tools/bench.py from the installer's tables (benchdrv tables).\n")
        f.write(f"!define PAYLOAD_BYTES {payload_bytes}\n!define VERSION \"{version}\"\n")
        f.write("!macro VALUES\n")
        for key, name, value in values:
            v = nsis_string(value)
            for k in fields:
                v = v.replace("{" + k + "}", "$" + k)
            f.write(f'  WriteRegStr HKLM "{nsis_string(key)}" "{nsis_string(name)}" "{v}"\n')
        f.write("!macroend\n!macro DRIVERS\n")
        for key, name, _ in counts:
            f.write(f'  StrCpy $R1 "{nsis_string(key)}"\n  StrCpy $R2 "{nsis_string(key.rsplit(chr(92), 1)[1])}"\n'
                    "  Call CountDriver\n")
        f.write("!macroend\n!macro COUNTS\n")
        for row, row_base, name, _ in rows:
            f.write(f'  StrCpy $R1 "{nsis_path(row_base, name)}"\n  Call CountShared\n')
        f.write("!macroend\n!macro FLUSH_ROWS\n")
        for row, row_base, name, keep in rows:
            f.write(f'  StrCpy $R1 "{nsis_path(row_base, name)}"\n  Call FlushFile\n')
        for macro, beside in (("ROWS", False), ("ROWS_BESIDE", True)):
            f.write(f"!macroend\n!macro {macro}\n")
            base = None
            for row, row_base, name, keep in rows:
                if row_base != base:
                    base = row_base
                    f.write(f'  SetOutPath "{nsis_path(row_base)}"\n')
                if not beside:
                    if keep == "keep":
                        f.write("  SetOverwrite off\n")
                    f.write(f'  File "/oname={nsis_string(name.lstrip(chr(92)))}" "{payload_dir}/{row}"\n')
                    if keep == "keep":
                        f.write("  SetOverwrite on\n")
                    continue
                f.write(f'  StrCpy $R1 "{nsis_path(row_base, name)}"\n')
                if keep == "keep":
                    f.write(f"  IfFileExists $R1 kept_{row}\n")
                f.write(f'  StrCpy $R0 "$OUTDIR\\~kpeer.tmp"\n  File "/oname=~kpeer.tmp" "{payload_dir}/{row}"\n'
                        "  Call PutInPlace\n")
                if keep == "keep":
                    f.write(f"  kept_{row}:\n")
        f.write("!macroend\n")
    for define, outfile in (([], "peer.exe"), (["-DGUARANTEES"], "peer-guarantees.exe")):
        sh("makensis", "-V2", f"-DTARGET={target}", f"-DTABLES={WORK}/peer-tables.nsh",
           f"-DOUTFILE={setup}/{outfile}", *define, f"{ROOT}/bench/peer.nsi", stdout=subprocess.DEVNULL)

    # The xcopy baseline's source: the same 82 files in three folders, as the installer lays them.
    src = w.c("benchsrc")
    for row, row_base, name, _ in rows:
        os.makedirs(f"{src}/{row_base}", exist_ok=True)
        shutil.copy(f"{payload_dir}/{row}", f"{src}/{row_base}/{row}")

    result_file = w.c("result.txt")
    linux = {"C:": w.c(), "S:": f"{WORK}/drive_s"}

    def linux_path(winpath):
        return find_ci(linux[winpath[:2]], *[p for p in winpath[3:].split("\\") if p])

    def is_replacement(name):
        # The installer's (~kst...), the floor's (~kfl...) and the peer's (~kpeer.tmp) new files,
        # and what the held run renamed aside or left for the restart.
        return name.lower().startswith(("~kst", "~kfl", "~kpeer"))

    def clean():
        for top in ("Arquivos de Programas", local_folder[3:], "benchdst"):
            p = find_ci(w.c(), top)
            if p:
                shutil.rmtree(p)
        for row, row_base, name, _ in rows:
            if row_base == "SystemDir":
                p = linux_path(sysdir_win + name)
                if p:
                    os.remove(p)
        system = linux_path(sysdir_win)
        for name in os.listdir(system):
            if is_replacement(name):
                os.remove(os.path.join(system, name))
        for link in links:
            p = linux_path(link)
            if p:
                os.remove(p)
        tavrin = linux_path(links[1].rsplit("\\", 1)[0])
        if tavrin:
            shutil.rmtree(tavrin)
        # The uninstaller's folder, below the program-files folder a 32-bit program gets.
        for program_files in ("Program Files (x86)", "Program Files"):
            p = find_ci(w.c(), program_files, "Tavrin")
            if p:
                shutil.rmtree(p)
        w.run("regedit", "/S", "C:\\clean.reg")
        for p in (result_file, result_file + ".release", w.c("floor.err")):
            if os.path.exists(p):
                os.remove(p)

    def check_job(expected):
        """What the run must have done, as listed in expected: '' when all is there."""
        missing = []
        for row, row_base, name, _ in rows:
            p = linux_path(places[row_base] + name)
            if not p or not filecmp.cmp(p, f"{payload_dir}/{row}", shallow=False):
                missing.append(f"file {row} {name}")
        app = linux_path(local_app)
        if not app or not filecmp.cmp(app, f"{WORK}/drive_s/Kestrel/Kestrel.exe", shallow=False):
            missing.append("the application's copy")
        with open(result_file, "a"):
            pass
        before = read_result()
        if w.run("C:\\benchdrv.exe", "verify", "C:\\result.txt", f"C:\\{expected}", check=False) != 0:
            missing += [" ".join(l) for l in read_result()[len(before):]] or ["verify failed"]
        return "; ".join(missing[:5]) + (f" (and {len(missing) - 5} more)" if len(missing) > 5 else "")

    def check_xcopy():
        dst = find_ci(w.c(), "benchdst")
        bad = [f"{r[1]}/{r[0]}" for r in rows
               if not dst or not os.path.isfile(f"{dst}/{r[1]}/{r[0]}")
               or not filecmp.cmp(f"{dst}/{r[1]}/{r[0]}", f"{src}/{r[1]}/{r[0]}", shallow=False)]
        return f"{len(bad)} of {len(rows)} files not copied ({', '.join(bad[:3])})" if bad else ""

    def read_result():
        if not os.path.exists(result_file):
            return []
        with open(result_file, encoding="cp1252") as f:
            return [line.rstrip("\r\n").split() for line in f if line.strip()]

    def wait_for_helpers():
        # The old peer starts regsvr32.exe and does not wait for it, and Wine's shell-link object
        # starts winemenubuilder.exe for every link saved: the next run (and the clean-up) begins
        # once those processes are gone, so that none of them runs beside it.
        deadline = time.monotonic() + 120
        while ((prefix_processes(prefix, "regsvr32") or
                prefix_processes(prefix, "winemenubuilder")) and time.monotonic() < deadline):
            time.sleep(0.01)

    figures = {k: [] for k in ("click_to_done", "startup", "whole_process", "unattended",
                               "guaranteed", "floor", "nsis", "reinstall", "guaranteed_reinstall",
                               "held", "noreinstall", "silent", "nsis_window", "xcopy",
                               "empty_process", "installer_peak_kb", "idle_peak_kb",
                               "unattended_peak_kb", "reinstall_peak_kb", "noreinstall_peak_kb",
                               "guaranteed_peak_kb", "guaranteed_reinstall_peak_kb",
                               "floor_peak_kb", "nsis_peak_kb",
                               "empty_peak_kb")}
    facts = {}  # (run, fact) -> [values], the measured rounds'
    infos = {}  # run -> {text: None}: what the driver noted (files modified, moves queued)
    unsampled = []
    failures = []
    paired = {}

    def measure(name, args, expected=None, exit_codes=(0,), marks=False, memory=None, sample=None):
        """One run through the driver (args after the result file), checked: its exit code among
        exit_codes, the registrations done when it ended (marks), the job of expected (a file of
        checks, or None), no file modified by the /NOREINSTALL run; its figures into sample, ''
        or what went wrong. memory: the name of the process whose peak private memory is taken."""
        nothing_written = name == "noreinstall"
        sampler = Sampler(memory, prefix) if memory else None
        rc = w.run("C:\\benchdrv.exe", args[0], "C:\\result.txt", *args[1:], check=False)
        peak = sampler.finish() if sampler else None
        result = read_result()
        problems = [" ".join(l) for l in result if l[0] == "error"]
        got = {}
        for line in result:
            if line[0] == "trace":
                print(" ".join(line))
            elif line[0] == "fact" and line[1] == name:
                got[("fact", line[2])] = line[3]
            elif line[0] == "info" and line[1] == name:
                infos.setdefault(name, {}).setdefault(" ".join(line[2:]), None)
            elif line[0] == f"{name}_exit":
                got[("fact", "exit")] = line[1]
                if int(line[1]) not in exit_codes:
                    problems.append(f"exit code {line[1]}")
            elif len(line) == 2 and line[0] in figures:
                got[line[0]] = float(line[1])
        if rc != 0:
            problems.append(f"driver exit code {rc}" + ("" if problems else
                            " and no error reported (the driver may not have run; see wine.out)"))
        if nothing_written and got.get(("fact", "modified")) != "0":
            problems.append(f"{got.get(('fact', 'modified'), 'unknown')} files modified by a run "
                            "that writes nothing")
        if marks and got.get(("fact", "marks")) != "2":
            problems.append(f"{got.get(('fact', 'marks'), 'no')} of the 2 registrations done when it ended")
        if os.path.exists(w.c("floor.err")):
            with open(w.c("floor.err")) as f:
                problems += [l.strip() for l in f if l.strip()]
        if os.path.exists(w.c("floor.err.trace")):  # KESTREL_BENCH_TRACE: the floor's steps
            with open(w.c("floor.err.trace")) as f:
                print("".join(f), end="")
            os.remove(w.c("floor.err.trace"))
        wait_for_helpers()
        if prefix_processes(prefix, "explorer.exe") != desktop:
            problems.append("the desktop was not the keeper's throughout")
        if not problems and expected:
            what = check_job(expected)
            if what:
                problems.append(what)
        if memory:
            if peak is None:
                unsampled.append(name)
            else:
                got[f"{name if name != 'install' else 'installer'}_peak_kb"] = peak
        if os.path.exists(result_file):
            os.remove(result_file)
        if problems:
            return "; ".join(problems)
        for k, v in got.items():
            if isinstance(k, tuple):
                sample.setdefault(("facts", name, k[1]), v)
            else:
                sample[k] = v
        return ""

    def over(name, command, hold="-"):
        return ["over", name, "C:\\files.txt", hold, *command]

    unattended_cmd = [installer, "/VERYSILENT"]
    guaranteed_cmd = ["F:\\Instalador\\peer-guarantees.exe", "/S", "/NCRC"]
    steps = list(STEPS)
    if a.only:
        steps = [s for s in steps if s in a.only.split(",")]
    for i in range(a.n + 1):
        order = steps[i % len(steps):] + steps[:i % len(steps)]
        sample = {}
        for step in order:
            clean()
            # Each step's runs, one after the other; a failed run ends its step.
            if step == "install":
                runs = [("install", ["install", installer], "expected-first.txt", (0,), False,
                         "InstaladorHalden.exe")]
            elif step == "nsis":
                runs = [("nsis", ["process", "nsis", "F:\\Instalador\\peer.exe", "/S", "/NCRC"],
                         "expected-job.txt", (0,), False, "peer.exe")]
            elif step == "unattended":
                runs = [("unattended", ["process", "unattended", *unattended_cmd], "expected-first.txt",
                         (0,), True, "InstaladorHalden.exe"),
                        ("reinstall", over("reinstall", unattended_cmd), "expected-whole.txt", (0,),
                         True, "InstaladorHalden.exe"),
                        ("noreinstall", over("noreinstall", [*unattended_cmd, "/NOREINSTALL"]), None,
                         (3,), False, "InstaladorHalden.exe"),
                        ("held", over("held", unattended_cmd, held_dll), "expected-whole.txt",
                         (0, 3010), True, None)]
            elif step == "guaranteed":
                runs = [("guaranteed", ["process", "guaranteed", *guaranteed_cmd], "expected-first.txt",
                         (0,), True, "peer-guarantees.exe"),
                        ("guaranteed_reinstall", over("guaranteed_reinstall", guaranteed_cmd),
                         "expected-whole.txt", (0,), True, "peer-guarantees.exe")]
            elif step == "floor":
                runs = [("floor", ["process", "floor", "F:\\Instalador\\floor.exe", installer,
                                   "C:\\tables.txt", "C:\\floor.err"], "expected-first.txt", (0,), True,
                         "floor.exe")]
            elif step == "silent":
                runs = [("silent", ["process", "silent", installer, "/SILENT"], "expected-first.txt",
                         (0,), False, None)]
            elif step == "nsis_window":
                runs = [("nsis_window", ["process", "nsis_window", "F:\\Instalador\\peer.exe", "/NCRC"],
                         "expected-job.txt", (0,), False, None)]
            elif step == "xcopy":
                runs = [("xcopy", ["process", "xcopy", "xcopy.exe", "/E", "/I", "/Q", "C:\\benchsrc",
                                   "C:\\benchdst"], None, (0,), False, None)]
            else:
                runs = [("empty_process", ["process", "empty_process", "C:\\emptywin.exe"], None, (0,),
                         False, None)]
            for name, args, expected, exit_codes, marks, memory in runs:
                what = measure(name, args, expected, exit_codes, marks, memory, sample)
                if not what and step == "xcopy":
                    what = check_xcopy()
                    if what:
                        sample.pop("xcopy", None)
                if what:
                    failures.append(f"run {i} {name}: {what}")
                    print(f"FAIL {failures[-1]}")
                    break
        if i == 0:
            continue  # warm-up
        for k, v in sample.items():
            if isinstance(k, tuple):
                facts.setdefault(k[1:], []).append(v)
            else:
                figures[k].append(v)
        # The same round's runs, seconds apart: steadier on a busy machine than the medians.
        for num, den in PAIRS:
            if num in sample and den in sample:
                paired.setdefault((num, den), []).append(sample[num] / sample[den])

    # Where an unattended run's time goes: the log's stamps (milliseconds), line by line and
    # step by step. The process start before the first line and the exit after the last are the
    # driver's figure less the log's span.
    traced = {}
    for i in range(a.trace):
        clean()
        for name, args, exits in (("unattended", ["process", "unattended"], (0,)),
                                  ("reinstall", over("reinstall", []), (0,)),
                                  ("held", over("held", [], held_dll), (0, 3010))):
            log = w.c("trace.log")
            if os.path.exists(log):
                os.remove(log)
            command = [*unattended_cmd, "/LOG=C:\\trace.log"]
            got = {}
            what = measure(name, args + command,
                           "expected-first.txt" if name == "unattended" else "expected-whole.txt",
                           exits, True, None, got)
            if what or not os.path.exists(log):
                failures.append(f"trace {i + 1} {name}: {what or 'no log'}")
                print(f"FAIL {failures[-1]}")
                break
            stamps = read_log(log)
            span = stamps[-1][0] - stamps[0][0]
            steps_took = print_trace(stamps, f"trace {i + 1}, {name}: whole process {got[name] * 1000:.0f} "
                                     f"ms, of which before the first log line and after the last "
                                     f"{max(0.0, got[name] - span) * 1000:.0f} ms")
            for step, took in steps_took.items():
                traced.setdefault((name, step), []).append(took)

    # Memory baselines: the installer started and closed without a run (Wine reads the whole
    # image, payload included, into private memory when it loads it), and the empty program.
    for _ in range(3):
        clean()
        sampler = Sampler("InstaladorHalden.exe", prefix, result_file, "startup")
        rc = w.run("C:\\benchdrv.exe", "idle", "C:\\result.txt", installer, check=False)
        peak = sampler.finish()
        if rc == 0 and peak is not None:
            figures["idle_peak_kb"].append(peak)
        clean()
        sampler = Sampler("emptywin.exe", prefix, result_file, "shown")
        rc = w.run("C:\\benchdrv.exe", "hold", "C:\\result.txt", "C:\\emptywin.exe", "wait", check=False)
        peak = sampler.finish()
        if rc == 0 and peak is not None:
            figures["empty_peak_kb"].append(peak)
    clean()
    subprocess.run([w.env["WINESERVER"], "-k"], env=w.env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    print(f"\n{a.n} runs (after one warm-up), each checked; seconds unless marked; peers: NSIS "
          f"{target}, stored")
    print(f"{'figure':<22}{'min':>10}{'median':>10}{'max':>10}{'runs':>6}")
    med = {}
    for k, vs in figures.items():
        if not vs:
            continue
        med[k] = statistics.median(vs)
        fmt = "{:>10.0f}" if k.endswith("_kb") else "{:>10.3f}"
        print(f"{k:<22}" + fmt.format(min(vs)) + fmt.format(med[k]) + fmt.format(max(vs)) + f"{len(vs):>6}")
    if traced:
        print("\nnamed steps of the traced runs (ms: min, median, max)")
        for (name, step), vs in traced.items():
            print(f"  {name}: \"{step}\"  {min(vs) * 1000:.0f} {statistics.median(vs) * 1000:.0f} "
                  f"{max(vs) * 1000:.0f} ({len(vs)} runs)")

    print()
    for num, den in PAIRS:
        if med.get(num) and med.get(den):
            line = f"{num + ' / ' + den:<36}{med[num] / med[den]:.2f}"
            if (num, den) in paired:
                vs = paired[(num, den)]
                line += f"   same round: median {statistics.median(vs):.2f} ({min(vs):.2f} to {max(vs):.2f})"
            print(line)
    for num, den in (("nsis", "xcopy"), ("whole_process", "empty_process")):
        if med.get(num) and med.get(den):
            print(f"{num + ' / ' + den:<36}{med[num] / med[den]:.2f}")

    print("\nfacts of the runs over an installation (value: rounds)")
    for (name, fact), vs in sorted(facts.items()):
        if fact == "marks":
            continue
        tally = {}
        for v in vs:
            tally[v] = tally.get(v, 0) + 1
        print(f"  {name} {fact}: " + ", ".join(f"{v}: {n}" for v, n in sorted(tally.items())))
    for name, texts in sorted(infos.items()):
        for text in list(texts)[:4]:
            print(f"  {name}, e.g.: {text}")
    if unsampled:
        print(f"  memory not sampled (process seen fewer than 3 times): {', '.join(sorted(set(unsampled)))}")

    print("\ngoals (per-round medians)")
    for label, (num, den), most in GOALS:
        if (num, den) in paired:
            got = statistics.median(paired[(num, den)])
            print(f"  {label:<50}{got:.2f}, at most {most:.2f}: {'met' if got <= most else 'NOT met'}")
    held_exit = facts.get(("held", "exit"), [])
    held_pending = facts.get(("held", "pending_added"), [])
    if held_exit:
        ok = all(v == "0" for v in held_exit) and all(v == "0" for v in held_pending)
        print(f"  {'held ' + HELD_DLL + ': exit 0, nothing queued':<50}"
              f"exit {'/'.join(sorted(set(held_exit)))}, queued {'/'.join(sorted(set(held_pending)))}: "
              f"{'met' if ok else 'NOT met'}")
    for run, idle in (("unattended_peak_kb", "noreinstall_peak_kb"), ("reinstall_peak_kb", "noreinstall_peak_kb"),
                      ("installer_peak_kb", "idle_peak_kb")):
        if run in med and idle in med:
            extra = med[run] - med[idle]
            print(f"  {run + ' - ' + idle:<50}{extra:.0f} KB, at most 64 KB: {'met' if extra <= 64 else 'NOT met'}")
    product = f"{ROOT}/build/sample/InstaladorHalden.exe"
    if os.path.exists(product):
        size = os.path.getsize(product)
        print(f"\nproduct executable {size} bytes; without payload {size - PAYLOAD_BYTES} bytes")
    if failures:
        print(f"FAIL: {len(failures)} run(s) did not do their work:\n  " + "\n  ".join(failures))
        sys.exit(1)


if __name__ == "__main__":
    main()
