#!/usr/bin/env python3
"""Benchmark of the installer under Wine against a generic installer doing the same job.

Builds the installer (64-bit test build, Wine's native loader), an NSIS installer of the same job
(bench/peer.nsi, built here with makensis from the installer's own tables), prepares one Wine
prefix with a warm wineserver, and measures over N runs (after one warm-up, the commands rotated
so that machine drift hits all alike), each on a clean state:
  click_to_done  click on "&Instalar" to "&Cancelar" enabled again (first installation, all options)
  startup        process start to the window visible with "&Instalar" focused
  whole_process  start, install, close, exit
  nsis           the NSIS peer's whole process (peer.exe /S /NCRC), the same job
  unattended     the installer's whole process with /VERYSILENT (what a fleet runs), exit code 0
  silent         the installer's whole process with /SILENT (its window shows the run and closes)
  nsis_window    the peer with its own progress window, closing itself (peer.exe /NCRC)
  xcopy          Wine's xcopy of the same payload files into fresh folders (one process)
  empty_process  an empty Win32 window program (the floor of a process start)
  peak private memory of the installer during the run, idle, and of the empty window program
  size           the product executable minus its payload bytes
Ratios to the peer are also given per round (the installer and the peer measured seconds
apart), the median of those being steadier on a busy machine than a ratio of medians.
The session's desktop is there before every run, as on Windows: a hidden window program keeps it
for the whole benchmark. (Wine starts the desktop process for the first program that needs a
window and ends it a second after the last one; left to that, a run would pay its start or not
by the timing of the run before.)
Every run is checked after it ends: the installer's and the peer's files by content, registry
values and links; xcopy's files by content; every exit code. A run that did not do its work is a
FAIL (exit code 1), never a figure.
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
PAIRS = [("click_to_done", "nsis"), ("whole_process", "nsis"), ("unattended", "nsis"),
         ("silent", "nsis_window")]
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
    appeared in the result file (the shown window), so that the driver may close it."""

    def __init__(self, name, prefix, result=None, marker=None):
        self.name, self.prefix, self.result, self.marker = name, prefix, result, marker
        self.peak, self.stop = 0, threading.Event()
        self.thread = threading.Thread(target=self.loop)
        self.thread.start()

    def sample(self):
        for pid in prefix_processes(self.prefix, self.name):  # not another checkout's
            try:
                with open(f"/proc/{pid}/status") as f:
                    for line in f:
                        if line.startswith("RssAnon:"):
                            self.peak = max(self.peak, int(line.split()[1]))
            except OSError:
                pass

    def shown(self):
        try:
            with open(self.result, encoding="cp1252") as f:
                return any(line.split()[:1] == [self.marker] for line in f)
        except OSError:
            return False

    def loop(self):
        released = self.result is None
        while not self.stop.is_set():
            was_shown = not released and self.shown()
            self.sample()
            if was_shown:
                open(self.result + ".release", "w").close()
                released = True
            time.sleep(0.005)

    def finish(self):
        self.stop.set()
        self.thread.join()
        return self.peak


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


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("-n", type=int, default=10, help="measured runs (default 10)")
    ap.add_argument("--no-build", action="store_true")
    ap.add_argument("--installer", metavar="EXE", help="measure this InstaladorHalden.exe (an "
                    "earlier build, say) instead of the test build's, with the same peer and checks")
    ap.add_argument("--only", metavar="STEPS", help="measure only these comma-separated steps "
                    "(install, nsis, unattended, silent, nsis_window, xcopy, empty)")
    ap.add_argument("--trace", type=int, metavar="N", default=0, help="then N /VERYSILENT runs "
                    "with a log, printing the time each step of the run took (from the log's stamps)")
    a = ap.parse_args()
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

    # The installer's tables, from its own code: payload rows and the registry values it writes.
    w.run("C:\\benchdrv.exe", "tables", "C:\\tables.txt")
    rows, values = [], []
    with open(w.c("tables.txt"), encoding="cp1252") as f:
        for line in f:
            kind, *fields = line.rstrip("\r\n").split("\t")
            (rows if kind == "file" else values).append(fields)
    sysdir_win = "C:\\windows\\system32"
    places = {"BdeDir": "C:\\Arquivos de Programas\\Arquivos Comuns\\Borland Shared\\BDE",
              "OdbcDir": "C:\\Arquivos de programas\\PostgreSQL\\psqlODBC\\0804\\bin",
              "SystemDir": sysdir_win}
    fields = dict(places, **SETTINGS)
    # The installer puts LocalApp on the system drive (whatever stands before its first "\").
    local_app = "C:" + SETTINGS["LocalApp"][SETTINGS["LocalApp"].index("\\"):]
    local_folder = local_app.rsplit("\\", 1)[0]

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
    with open(w.c("expected.txt"), "w", encoding="cp1252", newline="\r\n") as f:
        for key, name, value in values:
            f.write(f"reg\t{key}\t{name}\t{resolve(value)}\n")
        for link in links:
            f.write(f"link\t{link}\t{launcher}\t\t{local_folder}\n")
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
        # an installation.
        for view in ("", "Wow6432Node\\"):
            for key in ("Tavrin", "Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                        "Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrel"):
                f.write(f"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\{view}{key}]\n\n")
        for key in dict.fromkeys(k for k, _, _ in values):
            if key.lower() not in template_keys:
                f.write(f"[-HKEY_LOCAL_MACHINE\\{key}]\n\n")
                continue
            f.write(f"[HKEY_LOCAL_MACHINE\\{key}]\n")
            for k, name, _ in values:
                if k == key:
                    f.write(f"\"{name}\"=-\n")
            f.write("\n")

    # The peer, built for the bed's architecture when makensis has that target.
    target = "amd64-unicode" if os.path.exists("/usr/share/nsis/Stubs/zlib-amd64-unicode") else "x86-unicode"
    with open(f"{WORK}/peer-tables.nsh", "w", encoding="utf-8-sig") as f:
        f.write("; Generated by tools/bench.py from the installer's tables (benchdrv tables).\n")
        for key, name, value in values:
            v = nsis_string(value)
            for k in fields:
                v = v.replace("{" + k + "}", "$" + k)
            f.write(f'WriteRegStr HKLM "{nsis_string(key)}" "{nsis_string(name)}" "{v}"\n')
        base = None
        for row, row_base, name, keep in rows:
            if row_base != base:
                base = row_base
                f.write(f'SetOutPath "${"SYSDIR" if base == "SystemDir" else base}"\n')
            if keep == "keep":
                f.write("SetOverwrite off\n")
            f.write(f'File "/oname={nsis_string(name.lstrip(chr(92)))}" "{payload_dir}/{row}"\n')
            if keep == "keep":
                f.write("SetOverwrite on\n")
    sh("makensis", "-V2", f"-DTARGET={target}", f"-DTABLES={WORK}/peer-tables.nsh",
       f"-DOUTFILE={setup}/peer.exe", f"{ROOT}/bench/peer.nsi", stdout=subprocess.DEVNULL)

    # The xcopy baseline's source: the same 82 files in three folders, as the installer lays them.
    src = w.c("benchsrc")
    for row, row_base, name, _ in rows:
        os.makedirs(f"{src}/{row_base}", exist_ok=True)
        shutil.copy(f"{payload_dir}/{row}", f"{src}/{row_base}/{row}")

    result_file = w.c("result.txt")
    installer = "F:\\Instalador\\InstaladorHalden.exe"
    linux = {"C:": w.c(), "S:": f"{WORK}/drive_s"}

    def linux_path(winpath):
        return find_ci(linux[winpath[:2]], *[p for p in winpath[3:].split("\\") if p])

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
        for p in (result_file, result_file + ".release"):
            if os.path.exists(p):
                os.remove(p)

    def check_job():
        """What the installer and the peer must both have done: '' when all is there."""
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
        if w.run("C:\\benchdrv.exe", "verify", "C:\\result.txt", "C:\\expected.txt", check=False) != 0:
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

    figures = {k: [] for k in ("click_to_done", "startup", "whole_process", "nsis", "unattended",
                               "silent", "nsis_window", "xcopy",
                               "empty_process", "installer_peak_kb", "nsis_peak_kb",
                               "idle_peak_kb", "empty_peak_kb")}
    failures = []
    paired = {}
    steps = ["install", "nsis", "unattended", "silent", "nsis_window", "xcopy", "empty"]
    if a.only:
        steps = [s for s in steps if s in a.only.split(",")]
    for i in range(a.n + 1):
        order = steps[i % len(steps):] + steps[:i % len(steps)]
        sample = {}
        for step in order:
            clean()
            if step == "install":
                sampler = Sampler("InstaladorHalden.exe", prefix)
                rc = w.run("C:\\benchdrv.exe", "install", "C:\\result.txt", installer, check=False)
                sample["installer_peak_kb"] = sampler.finish()
            elif step == "nsis":
                sampler = Sampler("peer.exe", prefix)
                rc = w.run("C:\\benchdrv.exe", "process", "C:\\result.txt", "nsis",
                           "F:\\Instalador\\peer.exe", "/S", "/NCRC", check=False)
                sample["nsis_peak_kb"] = sampler.finish()
            elif step in ("unattended", "silent"):
                switch = "/VERYSILENT" if step == "unattended" else "/SILENT"
                rc = w.run("C:\\benchdrv.exe", "process", "C:\\result.txt", step, installer, switch,
                           check=False)
            elif step == "nsis_window":
                rc = w.run("C:\\benchdrv.exe", "process", "C:\\result.txt", "nsis_window",
                           "F:\\Instalador\\peer.exe", "/NCRC", check=False)
            elif step == "xcopy":
                rc = w.run("C:\\benchdrv.exe", "process", "C:\\result.txt", "xcopy", "xcopy.exe",
                           "/E", "/I", "/Q", "C:\\benchsrc", "C:\\benchdst", check=False)
            else:
                rc = w.run("C:\\benchdrv.exe", "process", "C:\\result.txt", "empty_process",
                           "C:\\emptywin.exe", check=False)
            got = {}
            problems = [" ".join(l) for l in read_result() if l[0] == "error"]
            for line in read_result():
                if line[0] == "trace":
                    print(" ".join(line))
                elif line[0].endswith("_exit"):
                    if line[1] != "0":
                        problems.append(f"exit code {line[1]}")
                elif len(line) == 2 and line[0] != "error":
                    got[line[0]] = float(line[1])
            if rc != 0:
                problems.append(f"driver exit code {rc}" + ("" if problems else
                                " and no error reported (the driver may not have run; see wine.out)"))
            # The peer starts regsvr32.exe and does not wait for it, and Wine's shell-link object
            # starts winemenubuilder.exe for every link saved: the next step (and the clean-up)
            # begins once those processes are gone, so that none of them runs beside it.
            deadline = time.monotonic() + 120
            while ((prefix_processes(prefix, "regsvr32") or
                    prefix_processes(prefix, "winemenubuilder")) and time.monotonic() < deadline):
                time.sleep(0.01)
            if prefix_processes(prefix, "explorer.exe") != desktop:
                problems.append("the desktop was not the keeper's throughout")
            if not problems:
                what = check_job() if step not in ("xcopy", "empty") else \
                    check_xcopy() if step == "xcopy" else ""
                if what:
                    problems.append(what)
            if problems:
                failures.append(f"run {i} {step}: {'; '.join(problems)}")
                print(f"FAIL {failures[-1]}")
            else:
                sample.update(got)
        if i == 0:
            continue  # warm-up
        for k, v in sample.items():
            figures[k].append(v)
        # The same round's peer run, seconds apart: steadier on a busy machine than the medians.
        for num, den in PAIRS:
            if num in sample and den in sample:
                paired.setdefault((num, den), []).append(sample[num] / sample[den])

    # Where an unattended run's time goes: the log's stamps (milliseconds), step by step. The
    # process start before the first line and the exit after the last are the driver's figure less
    # the log's span.
    for i in range(a.trace):
        clean()
        log = w.c("trace.log")
        if os.path.exists(log):
            os.remove(log)
        w.run("C:\\benchdrv.exe", "process", "C:\\result.txt", "unattended", installer,
              "/VERYSILENT", "/LOG=C:\\trace.log", check=False)
        deadline = time.monotonic() + 120
        while ((prefix_processes(prefix, "regsvr32") or
                prefix_processes(prefix, "winemenubuilder")) and time.monotonic() < deadline):
            time.sleep(0.01)
        whole = next((float(l[1]) for l in read_result() if l[0] == "unattended"), 0.0)
        stamps = []
        with open(log, encoding="cp1252") as f:
            for line in f:
                hms = line[11:23]
                t = int(hms[0:2]) * 3600 + int(hms[3:5]) * 60 + float(hms[6:])
                stamps.append((t, line[25:].rstrip()))
        span = stamps[-1][0] - stamps[0][0]
        print(f"\ntrace {i + 1}: whole process {whole * 1000:.0f} ms, of which before the first "
              f"log line and after the last {max(0.0, whole - span) * 1000:.0f} ms")
        # The payload rows' lines are summed into one: the last row's includes the step's flush.
        lines = []
        for (t, text), (t_next, _) in zip(stamps, stamps[1:] + [stamps[-1]]):
            row = text.startswith(("Status: Instalando", "Arquivo gravado"))
            if row and lines and lines[-1][1].startswith("payload rows"):
                lines[-1][0] += t_next - t
                lines[-1][2] += text.startswith("Arquivo")
            else:
                lines.append([t_next - t, "payload rows" if row else text, 0])
        for took, text, files in lines:
            print(f"{took * 1000:6.0f} ms  {text[:90]}" + (f" ({files} files)" if files else ""))

    # Memory baselines: the installer started and closed without a run (Wine reads the whole
    # image, payload included, into private memory when it loads it), and the empty program.
    for _ in range(3):
        clean()
        sampler = Sampler("InstaladorHalden.exe", prefix, result_file, "startup")
        rc = w.run("C:\\benchdrv.exe", "idle", "C:\\result.txt", installer, check=False)
        peak = sampler.finish()
        if rc == 0:
            figures["idle_peak_kb"].append(peak)
        clean()
        sampler = Sampler("emptywin.exe", prefix, result_file, "shown")
        rc = w.run("C:\\benchdrv.exe", "hold", "C:\\result.txt", "C:\\emptywin.exe", "wait", check=False)
        peak = sampler.finish()
        if rc == 0:
            figures["empty_peak_kb"].append(peak)
    clean()
    subprocess.run([w.env["WINESERVER"], "-k"], env=w.env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    print(f"\n{a.n} runs (after one warm-up), each checked; seconds unless marked; peer: NSIS "
          f"{target}, stored")
    print(f"{'figure':<20}{'min':>10}{'median':>10}{'max':>10}{'runs':>6}")
    med = {}
    for k, vs in figures.items():
        if not vs:
            continue
        med[k] = statistics.median(vs)
        fmt = "{:>10.0f}" if k.endswith("_kb") else "{:>10.3f}"
        print(f"{k:<20}" + fmt.format(min(vs)) + fmt.format(med[k]) + fmt.format(max(vs)) + f"{len(vs):>6}")

    def ratio(label, num, den):
        if med.get(num) and med.get(den):
            print(f"{label:<36}{med[num] / med[den]:.2f}")
    ratio("click_to_done / nsis", "click_to_done", "nsis")
    ratio("whole_process / nsis", "whole_process", "nsis")
    ratio("unattended / nsis", "unattended", "nsis")
    ratio("silent / nsis_window", "silent", "nsis_window")
    for (num, den), vs in paired.items():
        print(f"{num + ' / ' + den + ', same round':<36}{statistics.median(vs):.2f} (median; "
              f"{min(vs):.2f} to {max(vs):.2f})")
    ratio("nsis / xcopy", "nsis", "xcopy")
    ratio("click_to_done / xcopy", "click_to_done", "xcopy")
    ratio("whole_process / empty_process", "whole_process", "empty_process")
    if "installer_peak_kb" in med and "idle_peak_kb" in med:
        print(f"{'run peak private - idle start':<36}{med['installer_peak_kb'] - med['idle_peak_kb']:.0f} KB")
    product = f"{ROOT}/build/sample/InstaladorHalden.exe"
    if os.path.exists(product):
        size = os.path.getsize(product)
        print(f"product executable {size} bytes; without payload {size - PAYLOAD_BYTES} bytes")
    if failures:
        print(f"FAIL: {len(failures)} run(s) did not do their work:\n  " + "\n  ".join(failures))
        sys.exit(1)


if __name__ == "__main__":
    main()
