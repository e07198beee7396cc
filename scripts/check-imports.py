#!/usr/bin/env python3
"""Checks that 32-bit Windows programs would load on Windows XP SP3.

Usage: check-imports.py [--objdump PROGRAM] [--exports FILE] FILE...

For each program or DLL it reads the PE headers and the import tables with the
MinGW objdump and fails (exit 1) when
  - the subsystem version in the optional header is above 5.1 (XP refuses to
    start such an image), or
  - a directly imported DLL or function is not in the XP export list
    (scripts/xp-exports.txt).
Functions newer than XP must be looked up at run time (GetProcAddress); they
then never appear in an import table.
"""
import argparse
import os
import re
import subprocess
import sys

XP_SUBSYSTEM = (5, 1)


def read_exports(path):
    """{dll: set(functions)} from the list: "[dll]" headers, one name a line, "#" notes."""
    exports, dll = {}, None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            header = re.fullmatch(r"\[([^\]]+)\]", line)
            if header:
                dll = header.group(1).lower()
                exports.setdefault(dll, set())
            elif dll is None:
                sys.exit(f"{path}:{number}: a name before any [dll] header")
            else:
                exports[dll].add(line)
    return exports


def read_image(objdump, path):
    """(subsystem version, [(dll, function)]) of one image; an ordinal import is "#n"."""
    text = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    major = re.search(r"^MajorSubsystemVersion\s+(\d+)", text, re.M)
    minor = re.search(r"^MinorSubsystemVersion\s+(\d+)", text, re.M)
    if not major or not minor:
        sys.exit(f"{path}: no subsystem version in the PE header (not a PE image?)")
    imports, dll = [], None
    for line in text.splitlines():
        name = re.match(r"\s*DLL Name: (\S+)", line)
        if name:
            dll = name.group(1).lower()
            continue
        if not line.strip():
            dll = None
            continue
        # "\t<vma>\t<hint>  <name>" by name; "\t<vma>\t<ordinal>" alone by ordinal.
        entry = re.match(r"\t[0-9a-f]+\t\s*(\d+)(?:\s+(\S+))?\s*$", line)
        if dll and entry:
            imports.append((dll, entry.group(2) or f"#{entry.group(1)}"))
    return (int(major.group(1)), int(minor.group(1))), imports


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    parser.add_argument("--exports", default=os.path.join(here, "xp-exports.txt"))
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()

    exports = read_exports(args.exports)
    faults, checked = [], 0
    for path in args.files:
        subsystem, imports = read_image(args.objdump, path)
        base = os.path.basename(path)
        if subsystem > XP_SUBSYSTEM:
            faults.append(f"{base}: subsystem version {subsystem[0]}.{subsystem[1]} "
                          f"(Windows XP starts {XP_SUBSYSTEM[0]}.{XP_SUBSYSTEM[1]} and below)")
        for dll, function in imports:
            checked += 1
            if dll not in exports:
                faults.append(f"{base}: imports {dll}, a DLL not in the XP list")
            elif function not in exports[dll]:
                faults.append(f"{base}: imports {dll} {function}, not in the XP list")
    for fault in sorted(set(faults)):
        print(fault)
    if faults:
        print("Look a function newer than Windows XP up at run time (GetProcAddress); add a name to "
              f"{os.path.relpath(args.exports)} only when Windows XP SP3 exports it (see the notes there).")
        return 1
    print(f"XP imports: {checked} imports of {len(args.files)} files, all in the Windows XP SP3 list")
    return 0


if __name__ == "__main__":
    sys.exit(main())
