#!/usr/bin/env python3
"""Installs the player into a prefix that is then moved, or builds and unpacks its Debian
package, and plays the installed sample game headless from an unrelated folder.

usage: install_package_test.py install|package SOURCE_DIR BUILD_DIR
"""
import gzip
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256, 512]
VERSION_LINE = r"{} \d+\.\d+(\.\d+)?\b"
FAILURES = []


def check(condition, message):
    if not condition:
        FAILURES.append(message)
        print("FAIL: " + message)


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


def play(program, work, name, bundle=None):
    """Plays 60 frames headless from `work` with fresh user folders; the screenshot's bytes."""
    home = os.path.join(work, "home-" + name)
    os.makedirs(home)
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=home + "/data", XDG_CACHE_HOME=home + "/cache",
               ALSOFT_DRIVERS="null")
    shot = os.path.join(work, name + ".png")
    command = [program, "--headless", "--frames", "60", "--screenshot", shot] + ([bundle] if bundle else [])
    result = run(command, cwd=work, env=env, timeout=300)
    check(result.returncode == 0 and os.path.exists(shot),
          f"{name}: {' '.join(command)} exited {result.returncode}:\n{result.stdout}{result.stderr}")
    return open(shot, "rb").read() if os.path.exists(shot) else b""


def check_installed_tree(prefix, source, build, reference):
    share = os.path.join(prefix, "share")
    player = os.path.join(prefix, "bin", "quillane-player")
    # The hicolor icons, and the one the player shows on the windows of games without their own.
    icons = [(s, f"{share}/icons/hicolor/{s}x{s}/apps/quillane-player.png") for s in ICON_SIZES]
    for icon_size, path in icons + [(128, f"{share}/quillane-player/quillane-player.png")]:
        header = open(path, "rb").read(24) if os.path.exists(path) else b""
        check(header[12:16] == b"IHDR" and struct.unpack(">II", header[16:24]) == (icon_size, icon_size),
              f"{path} is missing or not {icon_size}x{icon_size}")

    # Paths into the source or build tree, other than source file names kept for messages,
    # would tie the program to this machine.
    with tempfile.NamedTemporaryFile() as section:
        run(["objcopy", "-O", "binary", "--only-section=.rodata", player, section.name])
        rodata = section.read()
    for root in (source, build):
        tied = [m.decode(errors="replace") for m in re.findall(re.escape(root.encode()) + rb"[\x20-\x7e]*", rodata)
                if not re.search(rb"\.(c|cc|cpp|h)$", m)]
        check(not tied, f"{player} holds paths of this machine: {tied}")

    version = run([player, "--version"]).stdout
    for name in ["quillane-player", "Lua", "Box2D", "SDL2", "OpenAL Soft", "libxml2"]:
        check(re.search("^" + VERSION_LINE.format(name), version, re.M), f"--version lacks {name}:\n{version}")

    # Every option --help offers is in the manual page.
    manual = gzip.open(f"{share}/man/man1/quillane-player.1.gz", "rt").read().replace("\\-", "-")
    options = set(re.findall(r"^\s+(--[a-z][a-z-]*)", run([player, "--help"]).stdout, re.M))
    check(options, "--help lists no options")
    for option in sorted(options):
        check(re.search(r"^\.B[IR]? (.*\W)?" + re.escape(option) + r"\b", manual, re.M), f"the manual page lacks {option}")

    with tempfile.TemporaryDirectory() as work:
        check(play(player, work, "installed") == reference, "the installed player draws another picture")
        result = run([os.path.join(prefix, "bin", "qzrun"), f"{share}/quillane-player/engine64.luo", "--project",
                      f"{share}/quillane-player/games/Brickfall.app/Contents/Resources/Brickfall.gameproj",
                      "--frames", "10"], cwd=work, env=dict(os.environ, ALSOFT_DRIVERS="null"), timeout=120)
        check(result.returncode == 0, f"the installed qzrun failed:\n{result.stdout}{result.stderr}")


def check_desktop_files(share):
    result = run(["desktop-file-validate", f"{share}/applications/quillane-player.desktop"])
    check(result.returncode == 0 and "error" not in result.stdout, "desktop-file-validate: " + result.stdout)
    definition = f"{share}/mime/packages/quillane-player.xml"
    result = run(["xmllint", "--noout", definition])
    check(result.returncode == 0, "xmllint: " + result.stderr)
    with tempfile.TemporaryDirectory() as mime:
        os.makedirs(mime + "/packages")
        shutil.copy(definition, mime + "/packages")
        result = run(["update-mime-database", "-V", mime])
        globs = open(mime + "/globs2").read() if os.path.exists(mime + "/globs2") else ""
        check("application/x-quillane-game:*.qzgame" in globs and "quillane-player.xml" not in result.stderr,
              f"update-mime-database does not take the file type:\n{result.stderr}")


def test_install(source, build, work, reference):
    staged = os.path.join(work, "staged")
    result = run(["cmake", "--install", build, "--prefix", staged])
    check(result.returncode == 0, "cmake --install: " + result.stdout + result.stderr)
    moved = os.path.join(work, "elsewhere", "prefix")
    os.makedirs(os.path.dirname(moved))
    os.rename(staged, moved)
    check_installed_tree(moved, source, build, reference)
    check_desktop_files(os.path.join(moved, "share"))


def test_package(source, build, work, reference):
    result = run(["cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", work])
    check(result.returncode == 0, "cpack: " + result.stdout + result.stderr)
    debs = [f for f in os.listdir(work) if re.fullmatch(r"quillane-player_\d+\.\d+\.\d+_amd64\.deb", f)]
    check(len(debs) == 1, f"cpack made {os.listdir(work)}")
    if len(debs) != 1:
        return
    deb = os.path.join(work, debs[0])
    depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout.strip()
    check("libsdl2-2.0-0" in depends and "libopenal1" in depends, "dependencies not computed: " + depends)
    root = os.path.join(work, "root")
    check(run(["dpkg-deb", "-x", deb, root]).returncode == 0, "dpkg-deb -x failed")
    check_installed_tree(os.path.join(root, "usr"), source, build, reference)
    check_desktop_files(os.path.join(root, "usr/share"))
    lintian = run(["lintian", "--allow-root", deb])
    errors = [line for line in lintian.stdout.splitlines() if line.startswith("E:")]
    check(lintian.returncode in (0, 2) and not errors, "lintian:\n" + lintian.stdout + lintian.stderr)
    print("Depends: " + depends)
    print("lintian warnings:\n" + "\n".join(l for l in lintian.stdout.splitlines() if l.startswith("W:")))


def main():
    mode, source, build = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as work:
        reference = play(os.path.join(build, "player", "quillane-player"), work, "build",
                         os.path.join(build, "games", "Brickfall.app"))
        {"install": test_install, "package": test_package}[mode](source, build, work, reference)
    print("\n".join(["FAILED:"] + FAILURES) if FAILURES else "passed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
