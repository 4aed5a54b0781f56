#!/usr/bin/env python3
"""The Python client's command codes and record states are exactly the ones the
C++ header defines: each name in both, with the same value.

    python_codes_test.py src/api/InterfaceRecords.h tools/python/viren_client.py
"""
import importlib.util
import re
import sys

ENUMS = ("RecordState", "InterfaceCommandCode", "ExternalControl")
PYTHON_NAMES = re.compile(r"(RECORD|COMMAND|EXTERNAL)_[A-Z_]+")


def header_values(path):
    text = open(path, encoding="utf-8").read()
    values = {}
    for enum in ENUMS:
        body = re.search(r"enum %s\b[^{]*\{(.*?)\};" % enum, text, re.S)
        if not body:
            sys.exit(f"enum {enum} not found in {path}")
        for name, value in re.findall(r"\b([A-Z][A-Z_]+)\s*=\s*(-?(?:0x)?[0-9A-Fa-f]+)\b",
                                      re.sub(r"//.*", "", body.group(1))):
            values[name] = int(value, 0)
    return values


def module_values(path):
    found = importlib.util.spec_from_file_location("viren_client", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return {n: v for n, v in vars(module).items() if PYTHON_NAMES.fullmatch(n)}


def main():
    header, python = header_values(sys.argv[1]), module_values(sys.argv[2])
    wrong = sorted(set(header) ^ set(python) |
                   {n for n in header.keys() & python.keys() if header[n] != python[n]})
    for name in wrong:
        print(f"{name}: header {header.get(name)}, Python {python.get(name)}")
    print(f"{len(header)} names compared")
    return 1 if wrong or len(header) < 17 else 0


if __name__ == "__main__":
    sys.exit(main())
