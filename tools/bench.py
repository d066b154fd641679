#!/usr/bin/env python3
"""Benchmark of the installer under Wine: installation speed, start-up, memory and size.

Builds the installer, prepares one Wine prefix with a warm wineserver, and measures over N runs
(after one warm-up, the commands alternated so that machine drift hits all alike), each on a
clean state:
  click_to_done  click on "&Instalar" to "&Cancelar" enabled again (first installation, all options)
  startup        process start to the window visible with "&Instalar" focused
  whole_process  start, install, close, exit
  xcopy          Wine's xcopy of the same payload files into fresh folders (one process)
  empty_process  an empty Win32 window program (the floor of a process start)
  peak private memory of the installer during the run and of the empty window program
  size           the product executable minus its payload bytes
It reports figures and never fails on one; it fails only when an installation did not happen.
"""
import argparse
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
WORK = "/tmp/kestrel-bench"


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


def winpath(path):
    return "Z:" + path.replace("/", "\\")


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


def peak_anon_kb(name_part, stop, result):
    """Samples RssAnon of the Linux process running name_part until stop is set."""
    peak = 0
    while not stop.is_set():
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    if name_part.encode() not in f.read():
                        continue
                with open(f"/proc/{pid}/status") as f:
                    for line in f:
                        if line.startswith("RssAnon:"):
                            peak = max(peak, int(line.split()[1]))
            except OSError:
                pass
        time.sleep(0.005)
    result.append(peak)


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


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("-n", type=int, default=10, help="measured runs (default 10)")
    ap.add_argument("--no-build", action="store_true")
    a = ap.parse_args()
    if not os.environ.get("DISPLAY"):
        # The installer needs a display: run again inside a private virtual one.
        os.execvp(f"{ROOT}/tests/with-xvfb.sh", [f"{ROOT}/tests/with-xvfb.sh", sys.executable, *sys.argv])

    build = f"{ROOT}/build/test"
    if not a.no_build:
        for preset in ("sample", "test"):
            sh("cmake", "--preset", preset, stdout=subprocess.DEVNULL)
            sh("cmake", "--build", "--preset", preset, stdout=subprocess.DEVNULL)
    payload = sorted(glob.glob(f"{build}/payload-sample/82"))
    if not payload:
        sys.exit("bench: sample payload files not found in the build tree")
    payload_dir = os.path.dirname(payload[0])

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

    os.makedirs(f"{WORK}/drive_f/Instalador")
    shutil.copy(f"{build}/InstaladorHalden.exe", f"{WORK}/drive_f/Instalador/")
    with open(f"{WORK}/drive_f/Instalador/startKestrel.INI", "w", newline="\r\n") as f:
        f.write("[Application]\nLocalApp=D:\\Kestrel\\Kestrel.exe\nRemoteApp=S:\\Kestrel\\Kestrel.exe\n"
                "[Instalacao]\nIPServidor=192.168.0.10\nPorta=5432\nBancoDados=kestreldb\n")
    os.makedirs(f"{WORK}/drive_s/Kestrel")
    with open(f"{WORK}/drive_s/Kestrel/Kestrel.exe", "wb") as f:
        f.write(b"MZ" + bytes(100000))
    # The xcopy baseline's source: the same 82 files in three folders, as the installer lays them.
    src = w.c("benchsrc")
    for sub, rows in (("bde", range(1, 58)), ("odbc", range(58, 73)), ("sys", range(73, 83))):
        os.makedirs(f"{src}/{sub}")
        for r in rows:
            shutil.copy(f"{payload_dir}/{r}", f"{src}/{sub}/{r}")
    for tool in ("benchdrv.exe", "emptywin.exe"):
        shutil.copy(f"{build}/{tool}", w.c(tool))

    result_file = f"{WORK}/result.txt"
    installer = "F:\\Instalador\\InstaladorHalden.exe"
    sysdir = find_ci(w.c(), "windows", "system32")
    names = ["midas.dll", "qtintf70.dll", "DllInscE32.dll", "BemaFI32.dll", "BemaMFD2.dll",
             "BemaMFD.dll", "BemaFI32.ini", "msxml5.dll", "capicom.dll", "msxml5r.dll"]

    def clean():
        for top in ("Arquivos de Programas", "Kestrel", "benchdst"):
            p = find_ci(w.c(), top)
            if p:
                shutil.rmtree(p, ignore_errors=True)
        for n in names:
            p = find_ci(sysdir, n)
            if p:
                os.remove(p)
        for lnk in glob.glob(f"{prefix}/drive_c/**/Kestrel.lnk", recursive=True):
            os.remove(lnk)
        w.run("reg", "delete", "HKLM\\Software\\ODBC\\ODBC.INI\\Kestrel", "/f", check=False)

    def installed():
        bde = find_ci(w.c(), "Arquivos de Programas", "Arquivos Comuns", "Borland Shared", "BDE")
        odbc = find_ci(w.c(), "Arquivos de programas", "PostgreSQL", "psqlODBC", "0804", "bin")
        files = (len(os.listdir(bde)) if bde else 0) + (len(os.listdir(odbc)) if odbc else 0) + \
            sum(1 for n in names if find_ci(sysdir, n))
        key = w.run("reg", "query", "HKLM\\Software\\ODBC\\ODBC.INI\\Kestrel", "/v", "Servername",
                    check=False) == 0
        app = find_ci(w.c(), "Kestrel", "Kestrel.exe") is not None
        return files == 82 and key and app, f"files {files}/82, data source {key}, copy {app}"

    def measure_install(mode="install"):
        stop, peak = threading.Event(), []
        sampler = threading.Thread(target=peak_anon_kb, args=("InstaladorHalden.exe", stop, peak))
        sampler.start()
        rc = w.run("C:\\benchdrv.exe", mode, "C:\\result.txt", installer, check=False)
        stop.set()
        sampler.join()
        return rc, peak[0]

    def measure_empty_memory():
        stop, peak = threading.Event(), []
        sampler = threading.Thread(target=peak_anon_kb, args=("emptywin.exe", stop, peak))
        sampler.start()
        p = subprocess.Popen([w.env["WINE"], "C:\\emptywin.exe", "wait"], env=w.env,
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        time.sleep(1.5)
        stop.set()
        sampler.join()
        p.kill()
        p.wait()
        return peak[0]

    figures = {k: [] for k in ("click_to_done", "startup", "whole_process", "xcopy",
                               "empty_process", "installer_peak_kb", "empty_peak_kb",
                               "idle_peak_kb")}
    failures = 0
    steps = ["install", "xcopy", "empty"]
    for i in range(a.n + 1):
        order = steps[i % 3:] + steps[:i % 3]
        sample = {}
        for step in order:
            clean()
            if os.path.exists(w.c("result.txt")):
                os.remove(w.c("result.txt"))
            if step == "install":
                rc, peak = measure_install()
                ok, what = installed()
                if rc != 0 or not ok:
                    failures += 1
                    print(f"FAIL run {i}: installation did not happen ({what}, driver rc {rc})")
                sample["installer_peak_kb"] = peak
            elif step == "xcopy":
                w.run("C:\\benchdrv.exe", "process", "C:\\result.txt", "xcopy", "xcopy.exe",
                      "/E", "/I", "/Q", "C:\\benchsrc", "C:\\benchdst")
            else:
                w.run("C:\\benchdrv.exe", "process", "C:\\result.txt", "empty_process",
                      "C:\\emptywin.exe")
            if os.path.exists(w.c("result.txt")):
                with open(w.c("result.txt"), encoding="cp1252") as f:
                    for line in f:
                        if line.startswith("trace "):
                            print(line.rstrip())
                            continue
                        k, v = line.split()
                        sample[k] = float(v)
        if i == 0:
            continue  # warm-up
        for k, v in sample.items():
            figures[k].append(v)
    figures["empty_peak_kb"] = [measure_empty_memory() for _ in range(3)]
    # The installer's own start (Wine reads the whole image, payload included, into private
    # memory when it loads it): what the run adds is the difference to this.
    figures["idle_peak_kb"] = [measure_install("idle")[1] for _ in range(3)]
    clean()
    subprocess.run([w.env["WINESERVER"], "-k"], env=w.env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    print(f"\n{a.n} runs (after one warm-up); seconds unless marked")
    print(f"{'figure':<20}{'min':>10}{'median':>10}{'max':>10}")
    med = {}
    for k, vs in figures.items():
        if not vs:
            continue
        med[k] = statistics.median(vs)
        fmt = "{:>10.0f}" if k.endswith("_kb") else "{:>10.3f}"
        print(f"{k:<20}" + fmt.format(min(vs)) + fmt.format(med[k]) + fmt.format(max(vs)))
    if med.get("xcopy"):
        print(f"click_to_done / xcopy          {med['click_to_done'] / med['xcopy']:.2f}")
    if med.get("empty_process"):
        print(f"whole_process / empty_process  {med['whole_process'] / med['empty_process']:.2f}")
    if "installer_peak_kb" in med and "empty_peak_kb" in med:
        print(f"installer peak private - empty  {med['installer_peak_kb'] - med['empty_peak_kb']:.0f} KB")
    if "installer_peak_kb" in med and "idle_peak_kb" in med:
        print(f"run peak private - idle start   {med['installer_peak_kb'] - med['idle_peak_kb']:.0f} KB")
    product = f"{ROOT}/build/sample/InstaladorHalden.exe"
    if os.path.exists(product):
        size = os.path.getsize(product)
        print(f"product executable {size} bytes; without payload {size - PAYLOAD_BYTES} bytes")
    if failures:
        print(f"FAIL: {failures} installation(s) did not happen")
        sys.exit(1)


if __name__ == "__main__":
    main()
