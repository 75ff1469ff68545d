#!/usr/bin/env python3
"""Checks a qolt wheel: its tag names the platform of the library inside, the library's version is the
package's, and the files a wheel needs are there.

    check_wheel.py WHEEL VERSION
"""

import ctypes
import os
import re
import struct
import tempfile
import sys
import zipfile

# Platform tag suffix -> (ELF class, ELF machine).
MACHINES = {
    "x86_64": (2, 62),
    "i686": (1, 3),
    "aarch64": (2, 183),
    "armv7l": (1, 40),
    "ppc64le": (2, 21),
    "s390x": (2, 22),
    "riscv64": (2, 243),
}


def elf_header(data: bytes):
    if data[:4] != b"\x7fELF":
        raise SystemExit("libqolt.so.1 in the wheel is not an ELF file")
    elf_class = data[4]
    endian = "<" if data[5] == 1 else ">"
    (machine,) = struct.unpack_from(endian + "H", data, 18)
    return elf_class, machine


def main() -> int:
    wheel, version = sys.argv[1], sys.argv[2]
    match = re.fullmatch(r"qolt-(?P<version>[^-]+)-(?P<python>[^-]+)-(?P<abi>[^-]+)-(?P<platform>[^-]+)\.whl",
                         wheel.rsplit("/", 1)[-1])
    if not match:
        raise SystemExit(f"{wheel}: not a qolt wheel name")
    problems = []
    if match["version"] != version:
        problems.append(f"wheel version {match['version']}, VERSION {version}")
    if (match["python"], match["abi"]) != ("py3", "none"):
        problems.append(f"tag {match['python']}-{match['abi']}: the package is ctypes only, py3-none expected")
    platform = match["platform"]
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
        info = f"qolt-{version}.dist-info"
        for needed in ("qolt/__init__.py", "qolt/_library.py", "qolt/libqolt.so.1", "qolt/bin/qolt-sim",
                       f"{info}/WHEEL", f"{info}/METADATA", f"{info}/RECORD"):
            if needed not in names:
                problems.append(f"{needed} missing")
        if problems:
            print(f"{wheel}:", *problems, sep="\n  ", file=sys.stderr)
            return 1
        wheel_file = archive.read(f"{info}/WHEEL").decode()
        tags = re.findall(r"^Tag: (.+)$", wheel_file, re.M)
        if tags != [f"py3-none-{platform}"]:
            problems.append(f"WHEEL tags {tags}, file name says py3-none-{platform}")
        if "Root-Is-Purelib: false" not in wheel_file:
            problems.append("Root-Is-Purelib is not false: the wheel carries a platform library")
        metadata = archive.read(f"{info}/METADATA").decode()
        if f"\nVersion: {version}\n" not in metadata:
            problems.append("METADATA Version differs from VERSION")
        library = archive.read("qolt/libqolt.so.1")
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "libqolt.so.1")
            with open(path, "wb") as copy:
                copy.write(library)
            try:
                loaded = ctypes.CDLL(path)
                loaded.GetLibraryVersion.restype = ctypes.c_char_p
                reported = loaded.GetLibraryVersion().decode()
                if reported != version:
                    problems.append(f"libqolt.so.1 reports release {reported}, VERSION {version}")
            except OSError as error:
                problems.append(f"libqolt.so.1 does not load on this host: {error}")
        if b"libqolt.so.1\x00" not in library:
            problems.append("libqolt.so.1 does not carry its SONAME")
        for name in ("qolt/libqolt.so.1", "qolt/bin/qolt-sim"):
            found = elf_header(archive.read(name))
            suffix = platform.split("_", 1)[1] if platform.startswith(("linux_", "manylinux")) else platform
            suffix = re.sub(r"^\d+_\d+_", "", suffix)
            expected = MACHINES.get(suffix)
            if expected is None:
                problems.append(f"platform tag {platform}: no ELF machine known for it")
            elif found != expected:
                problems.append(f"{name}: ELF class/machine {found}, tag {platform} wants {expected}")
    if problems:
        print(f"{wheel}:", *problems, sep="\n  ", file=sys.stderr)
        return 1
    print(f"{wheel}: tag py3-none-{platform} matches libqolt.so.1 and qolt-sim inside (ELF class, machine), "
          f"release {version}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
