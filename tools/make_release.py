#!/usr/bin/python3
"""Makes the release packages in OUT_DIR:

  OrvoCdRipper-VERSION-win64.zip   the program, a read-me for Windows users,
                                   the licences and how to relink
  OrvoCdRipper-VERSION-source.zip  the program's complete source and the
                                   Debian source packages of the libraries
                                   linked into it (for relinking)

    make_release.py VERSION PROGRAM_EXE SOURCE_ROOT DEPS_SRC OUT_DIR
"""
import subprocess
import sys
import zipfile
from pathlib import Path

# Entries get one fixed time, so equal inputs give equal packages.
STAMP = (2026, 1, 1, 0, 0, 0)

THIRD_PARTY = {
    # licence file in the package: where it comes from
    "licenses/LAME.txt": ["lame-*/COPYING"],
    "licenses/libFLAC.txt": ["flac-*/COPYING.Xiph"],
    "licenses/id3lib.txt": ["id3lib3.8.3-*/COPYING"],
    "licenses/FFmpeg.txt": ["ffmpeg-*/LICENSE.md", "ffmpeg-*/COPYING.LGPLv2.1"],
    "licenses/nlohmann-json.txt": ["nlohmann-json3-*/LICENSE.MIT"],
    "licenses/zlib.txt": ["/usr/share/doc/libz-mingw-w64-dev/copyright"],
    "licenses/MinGW-w64 runtime.txt": ["/usr/share/doc/mingw-w64-x86-64-dev/copyright"],
    "licenses/GCC runtime.txt": ["/usr/share/doc/gcc-mingw-w64-base/copyright"],
}
# The Debian source packages of the libraries the program links.
LIBRARY_PACKAGES = ["lame_*", "flac_*", "id3lib3.8.3_*", "ffmpeg_*"]


def find_one(deps_src, pattern):
    if pattern.startswith("/"):
        return Path(pattern)
    found = sorted(deps_src.glob(pattern))
    if not found:
        sys.exit(f"make_release: nothing matches {pattern} in {deps_src}")
    return found[0]


def windows_text(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def add(package, name, data, compress=zipfile.ZIP_DEFLATED):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = compress
    info.external_attr = 0o644 << 16
    package.writestr(info, data)


def project_files(root):
    listed = subprocess.run(["git", "-C", str(root), "ls-files", "-z"], capture_output=True)
    if listed.returncode == 0 and listed.stdout:
        return sorted(p for p in listed.stdout.decode().split("\0") if p and (root / p).is_file())
    skip = {"build", ".git"}
    return sorted(str(p.relative_to(root)) for p in root.rglob("*")
                  if p.is_file() and not skip & set(p.relative_to(root).parts))


def make_program_zip(version, exe, root, deps_src, out):
    top = f"OrvoCdRipper-{version}/"
    path = out / f"OrvoCdRipper-{version}-win64.zip"
    with zipfile.ZipFile(path, "w") as package:
        add(package, top + "OrvoCdRipper.exe", exe.read_bytes())
        for name in ("README.txt", "RELINK.txt"):
            text = (root / "docs/release" / name).read_text().replace("@VERSION@", version)
            add(package, top + name, windows_text(text))
        add(package, top + "LICENSE.txt", windows_text((root / "LICENSE").read_text()))
        for name, sources in THIRD_PARTY.items():
            parts = [find_one(deps_src, s).read_text(errors="replace") for s in sources]
            add(package, top + name, windows_text("\n\n".join(parts)))
    return path


def make_source_zip(version, root, deps_src, out):
    top = f"OrvoCdRipper-{version}-source/"
    path = out / f"OrvoCdRipper-{version}-source.zip"
    with zipfile.ZipFile(path, "w") as package:
        for name in project_files(root):
            add(package, top + "orvo/" + name, (root / name).read_bytes())
        for pattern in LIBRARY_PACKAGES:
            files = sorted(f for f in deps_src.glob(pattern) if f.is_file())
            if not any(f.suffix == ".dsc" for f in files):
                sys.exit(f"make_release: no source package {pattern} in {deps_src}")
            for f in files:
                add(package, top + "debian-sources/" + f.name, f.read_bytes(), zipfile.ZIP_STORED)
    return path


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    version, exe, root, deps_src, out = sys.argv[1], *map(Path, sys.argv[2:])
    out.mkdir(parents=True, exist_ok=True)
    for made in (make_program_zip(version, exe, root, deps_src, out), make_source_zip(version, root, deps_src, out)):
        print(f"made {made}")


if __name__ == "__main__":
    main()
