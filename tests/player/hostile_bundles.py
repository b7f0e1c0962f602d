#!/usr/bin/env python3
"""Hostile bundles end to end: every file of a valid game bundle broken in turn, each played headless.

  hostile_bundles.py make VALID_BUNDLE OUTDIR
      writes one broken copy of the bundle per breakage into OUTDIR: every file truncated,
      emptied, replaced by random bytes, replaced by a folder, made unreadable, or replaced by
      a symbolic link pointing outside the bundle; and the bundle zipped, then truncated, with an
      entry escaping upwards, or with more entries than a game may hold.
  hostile_bundles.py run PLAYER LUAC [BUNDLE]
      builds the valid bundle (or copies BUNDLE) in a new temporary folder, makes the broken
      ones, and plays each
      headless with a copy of the player (and its fallback picture) kept there. Each run must
      end within 10 s with status 0 (a broken picture replaced by the fallback picture) or with
      a message that names the broken file; it must not crash, and must write nothing outside
      its save and cache folders. Exits 1 listing every bundle that failed, keeping the folder.
"""
import io
import os
import random
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import wave
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TIME_LIMIT = 10
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")


def png(width, height, rgba):
    """A small RGBA PNG of one colour."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\x00" + bytes(rgba) * width for _ in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


def wav(frames):
    data = io.BytesIO()
    with wave.open(data, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(8000)
        out.writeframes(b"".join(struct.pack("<h", (i * 500) % 16000 - 8000) for i in range(frames)))
    return data.getvalue()


TABLE = b"""<?xml version="1.0" encoding="utf-8"?>
<table version="1.000000" name="levels" numRows="2" numCols="1" flags="0" tableType="0">
<rows><row id="0" name="first"/><row id="1" name="second"/></rows>
<columns><column id="0" name="speed" type="2" readonly="0">3,5</column></columns>
</table>
"""


def write(path, contents):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(contents)


PICTURE = "Contents/Resources/Game.gameproj/hero.png"


def make_valid_bundle(folder, luac):
    contents = os.path.join(folder, "Contents")
    resources = os.path.join(contents, "Resources")
    project = os.path.join(resources, "Game.gameproj")
    write(os.path.join(contents, "Info.plist"),
          b'<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>'
          b"<key>CFBundleName</key><string>Hostile</string>"
          b"<key>QzStartFullscreen</key><false/></dict></plist>\n")
    os.makedirs(resources, exist_ok=True)
    subprocess.run([luac, "-o", os.path.join(resources, "engine64.luo"), os.path.join(HERE, "hostile_engine.lua")],
                   check=True)
    write(os.path.join(resources, "Default.png"), png(8, 8, (0, 0, 255, 255)))
    write(os.path.join(project, "project.xml"),
          b'<project name="Hostile"><scene name="start"><sprite image="hero"/></scene></project>')
    write(os.path.join(project, "levels.xml"), TABLE)
    write(os.path.join(folder, PICTURE), png(4, 4, (255, 0, 0, 255)))
    write(os.path.join(project, "beep.wav"), wav(800))


def bundle_files(bundle):
    """Every file of the bundle, as paths relative to it, in a fixed order."""
    found = []
    for folder, _, files in os.walk(bundle):
        found += [os.path.relpath(os.path.join(folder, name), bundle) for name in files]
    return sorted(found)


def breakages(size, outside):
    """(name, function breaking the file at a path) for one file of `size` bytes."""
    def truncate(path):
        with open(path, "r+b") as file:
            file.truncate(size // 2)

    def empty(path):
        open(path, "wb").close()

    def randomise(path):
        write(path, random.Random(size).randbytes(max(size, 64)))

    def folder(path):
        os.remove(path)
        os.makedirs(os.path.join(path, "inner"))

    def unreadable(path):
        os.chmod(path, 0)

    def link_outside(path):
        os.remove(path)
        os.symlink(outside, path)

    return [("truncated", truncate), ("empty", empty), ("random", randomise), ("folder", folder),
            ("unreadable", unreadable), ("link-outside", link_outside)]


def make(valid, out):
    """Writes the broken bundles; returns (name, broken file or '', bundle path) triples."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    outside = os.path.join(out, "outside-secret.txt")
    write(outside, b"a file outside every bundle\n")
    made = []
    for relative in bundle_files(valid):
        size = os.path.getsize(os.path.join(valid, relative))
        for kind, breakage in breakages(size, outside):
            name = relative.replace("/", "_") + "." + kind
            bundle = os.path.join(out, name, "Hostile.app")
            shutil.copytree(valid, bundle, symlinks=True)
            breakage(os.path.join(bundle, relative))
            made.append((name, relative, bundle))
    for kind in ("whole", "truncated", "escaping", "crowded"):
        archive = os.path.join(out, "zipped-" + kind, "Hostile.zip")
        os.makedirs(os.path.dirname(archive))
        data = io.BytesIO()
        with zipfile.ZipFile(data, "w", zipfile.ZIP_DEFLATED) as zipped:
            for relative in bundle_files(valid):
                zipped.write(os.path.join(valid, relative), os.path.join("Hostile.app", relative))
            if kind == "escaping":  # from the cache's unpacking folder up to the home folder
                zipped.writestr("../../../../escaped.txt", b"outside")
            for index in range(20001 if kind == "crowded" else 0):
                zipped.writestr(f"Hostile.app/crowd/{index}", b"")
        contents = data.getvalue()
        write(archive, contents[:len(contents) // 2] if kind == "truncated" else contents)
        made.append(("zipped-" + kind, "" if kind == "whole" else "Hostile.zip", archive))
    return made


def snapshot(root, skip):
    """Every path under root except those under `skip`, with what a write would change."""
    state = {}
    for folder, folders, files in os.walk(root):
        folders[:] = [f for f in folders if os.path.join(folder, f) not in skip]
        for name in folders + files:
            path = os.path.join(folder, name)
            info = os.lstat(path)
            state[path] = (stat.S_IFMT(info.st_mode), info.st_size, info.st_mtime_ns)
    return state


def unprivileged_leftovers():
    """What the unprivileged runs own in the shared temporary folders (only they run as nobody)."""
    if os.geteuid() != 0:
        return set()
    found = set()
    for folder in ("/tmp", "/var/tmp", "/dev/shm"):
        for entry in os.scandir(folder):
            try:
                if entry.stat(follow_symlinks=False).st_uid == 65534:
                    found.add(entry.path)
            except FileNotFoundError:
                pass
    return found


def as_unprivileged(command):
    """Root reads unreadable files, so runs as root drop to nobody."""
    if os.geteuid() != 0:
        return command
    return ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + command


def private_suppressions(work):
    """LSAN_OPTIONS with its suppressions file copied into the work folder, for the same reason."""
    options = os.environ.get("LSAN_OPTIONS", "").split(":")
    for index, option in enumerate(options):
        if option.startswith("suppressions=") and os.path.isfile(option.split("=", 1)[1]):
            options[index] = "suppressions=" + shutil.copy2(option.split("=", 1)[1], os.path.join(work, "bin"))
    return ":".join(options)


def play(player, bundle, home):
    environment = dict(os.environ, HOME=home, XDG_DATA_HOME=os.path.join(home, "data"),
                       XDG_CACHE_HOME=os.path.join(home, "cache"), ALSOFT_DRIVERS="null")
    try:
        done = subprocess.run(as_unprivileged([player, "--headless", "--frames", "5", bundle]), cwd=home,
                              env=environment, capture_output=True, timeout=TIME_LIMIT)
    except subprocess.TimeoutExpired as expired:
        return None, (expired.stderr or b"").decode(errors="replace")
    return done.returncode, (done.stdout + done.stderr).decode(errors="replace")


def problem(status, output, broken):
    """Why a run's outcome is not acceptable, or None."""
    if status is None:
        return f"still running after {TIME_LIMIT} s"
    if any(mark in output for mark in SANITIZER_MARKS):
        return "a sanitizer reported an error"
    if status < 0 or status >= 128:
        return f"ended by signal {abs(status) if status < 0 else status - 128}"
    if status != 0 and broken and os.path.basename(broken) not in output:
        return f"exit status {status} without a message naming {os.path.basename(broken)}"
    if status == 0 and broken.endswith(".zip"):
        return "the archive was played instead of refused"
    if status == 0 and broken == PICTURE and "image_missing picture is shown instead" not in output:
        return "the broken picture was not replaced by the fallback picture"
    return None


def private_player(player, work):
    """A copy of the player, its fallback picture and font rules in the work folder: the
    unprivileged runs may not reach the build folder."""
    folder = os.path.join(work, "bin")
    os.makedirs(folder)
    for source in [player] + [os.path.join(os.path.dirname(player), name)
                              for name in ("image_missing.png", "quillane-fonts.conf")]:
        shutil.copy2(source, folder)
    return os.path.join(folder, os.path.basename(player))


def run(player, luac, source=None):
    work = tempfile.mkdtemp(prefix="qz-hostile-")
    os.chmod(work, 0o755)
    player = private_player(player, work)
    os.environ["LSAN_OPTIONS"] = private_suppressions(work)
    valid = os.path.join(work, "valid", "Hostile.app")
    if source:
        shutil.copytree(source, valid)
    else:
        make_valid_bundle(valid, luac)
    bundles = os.path.join(work, "bundles")
    made = [("valid", "", valid)] + make(valid, bundles)
    home = os.path.join(work, "home")
    failures = []
    for name, broken, bundle in made:
        shutil.rmtree(home, ignore_errors=True)
        os.makedirs(home)
        os.chmod(home, 0o777)
        allowed = {os.path.join(home, "data"), os.path.join(home, "cache")}
        before = snapshot(work, allowed)
        leftovers = unprivileged_leftovers()
        status, output = play(player, bundle, home)
        why = problem(status, output, broken)
        if name == "valid" and status != 0:
            why = f"the valid bundle does not play (status {status})"
        changed = sorted(path for path, state in snapshot(work, allowed).items() if before.get(path) != state)
        changed = [path for path in changed if path != home] + sorted(unprivileged_leftovers() - leftovers)
        if changed and not why:
            why = "wrote outside its save and cache folders: " + ", ".join(changed[:3])
        last = output.strip().splitlines()[-1] if output.strip() else ""
        print(f"{name}: status {status}: {why or 'ok'}: {last[:160]}")
        if why:
            failures.append(name)
            print("    " + "\n    ".join(output.strip().splitlines()[-60:]))
    print(f"{len(made)} bundles played, {len(failures)} failed" + (": " + ", ".join(failures) if failures else ""))
    if failures:
        print(f"the bundles and the player are kept in {work}")
        return 1
    shutil.rmtree(work, ignore_errors=True)
    return 0


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "make":
        for name, _, bundle in make(sys.argv[2], sys.argv[3]):
            print(name, bundle)
        return 0
    if len(sys.argv) in (4, 5) and sys.argv[1] == "run":
        return run(*sys.argv[2:])
    sys.exit(__doc__)


sys.exit(main())
