"""Prints what a Windows program imports from one DLL, as pefile reads it:
one name (or #ordinal) a line.

usage: /usr/bin/python3 imports.py PROGRAM DLL
"""
import sys

import pefile

program, dll = sys.argv[1:]
for entry in getattr(pefile.PE(program), "DIRECTORY_ENTRY_IMPORT", []):
    if entry.dll.decode().lower() == dll.lower():
        for imported in entry.imports:
            print(imported.name.decode() if imported.name else "#%d" % imported.ordinal)
