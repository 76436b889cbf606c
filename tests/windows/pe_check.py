"""Reads the Windows module with pefile, a PE reader of its own, and checks
its format and processor, its imports, its export table and every resource
it carries.

usage: /usr/bin/python3 pe_check.py VUZIRIZORURUZA.dll PROJECT_VERSION PROCESSOR
           PROCESSOR: CMake's CMAKE_SYSTEM_PROCESSOR of the build (x86_64, x86)
       /usr/bin/python3 pe_check.py --stripped FILE...
           every file carries no symbol table and no debug sections
"""
import struct
import sys

import pefile

US_ENGLISH = 0x0409
RT_STRING = 6
RT_VERSION = 16
STRINGS_PER_BLOCK = 16
SOCKETS_MESSAGE_ID = 101
MSFT_MAGIC = b"MSFT"
MSFT_HEADER_FIELDS = 21
MSFT_SEGMENT_COUNT = 15
MSFT_NAME_TABLE_SEGMENT = 7
MSFT_TYPE_DESCRIPTION_SEGMENT = 9
MSFT_HAS_HELP_DLL = 0x100
SYS_WIN32 = 1
# (machine, optional header magic): PE32+ for x64, PE32 for x86.
PROCESSORS = {
    "x86_64": (0x8664, 0x20B),
    "AMD64": (0x8664, 0x20B),
    "x86": (0x14C, 0x10B),
    "i686": (0x14C, 0x10B),
}
# The module's C and C++ runtimes are linked in: besides its class library
# it may need nothing but what every Windows has (advapi32 for the access
# list a replaced file hands to its replacement).
CLASS_LIBRARY = "vuzclasslibrary.dll"
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "advapi32.dll"}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def format_check(pe, processor):
    machine, magic = PROCESSORS[processor]
    check(pe.FILE_HEADER.Machine == machine, "machine 0x%x, expected 0x%x" % (pe.FILE_HEADER.Machine, machine))
    check(pe.OPTIONAL_HEADER.Magic == magic, "optional header magic 0x%x, expected 0x%x"
          % (pe.OPTIONAL_HEADER.Magic, magic))
    check(pe.is_dll(), "the file is a DLL")


def imports_check(pe):
    names = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    check(CLASS_LIBRARY in names, "imports its class library")
    check(names <= SYSTEM_DLLS | {CLASS_LIBRARY}, "imports only system DLLs and the class library: %s"
          % sorted(names))


COFF_SYMBOL_BYTES = 18


def section_names(pe):
    """Section names, with a long name ("/n", an offset into the COFF string
    table after the symbols) read from that table: the 32-bit DLL keeps
    .eh_frame, which is loaded and needed, under such a name."""
    header = pe.FILE_HEADER
    strings_at = header.PointerToSymbolTable + COFF_SYMBOL_BYTES * header.NumberOfSymbols
    names = []
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode()
        if name.startswith("/") and header.PointerToSymbolTable:
            start = strings_at + int(name[1:])
            name = pe.__data__[start:pe.__data__.find(b"\0", start)].decode()
        names.append(name)
    return names


def stripped_check(path):
    pe = pefile.PE(path, fast_load=True)
    name = path.rsplit("/", 1)[-1]
    check(pe.FILE_HEADER.NumberOfSymbols == 0, "%s carries %d symbols" % (name, pe.FILE_HEADER.NumberOfSymbols))
    sections = section_names(pe)
    check(not [s for s in sections if s.startswith(".debug")], "%s has debug sections: %s" % (name, sections))


def exports_check(pe):
    exports = pe.DIRECTORY_ENTRY_EXPORT
    check(pe.get_string_at_rva(exports.struct.Name) == b"VUZIRIZORURUZA.dll", "export directory name")
    check(exports.struct.NumberOfFunctions == 1, "exactly one export")
    check(exports.struct.NumberOfNames == 1, "exactly one exported name")
    check([(symbol.ordinal, symbol.name) for symbol in exports.symbols] == [(1, b"DTMFWaveCreate")],
          "DTMFWaveCreate is export number 1")


def resources(pe):
    """{(type, name): {language: bytes}} for every resource of the file."""
    found = {}
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        type_key = str(type_entry.name) if type_entry.name is not None else type_entry.id
        for name_entry in type_entry.directory.entries:
            name_key = str(name_entry.name) if name_entry.name is not None else name_entry.id
            for language_entry in name_entry.directory.entries:
                data = language_entry.data.struct
                found.setdefault((type_key, name_key), {})[language_entry.id] = pe.get_data(
                    data.OffsetToData, data.Size)
    return found


def version_check(pe, version):
    parts = [int(part) for part in version.split(".")]
    fixed = pe.VS_FIXEDFILEINFO[0]
    check(fixed.Signature == 0xFEEF04BD, "fixed version signature")
    for field in ("FileVersion", "ProductVersion"):
        check(getattr(fixed, field + "MS") == (parts[0] << 16 | parts[1])
              and getattr(fixed, field + "LS") == (parts[2] << 16 | parts[3]), field)
    check(fixed.FileFlagsMask == 0x3F and fixed.FileFlags == 0, "flags mask and flags")
    check(fixed.FileOS == 4 and fixed.FileType == 2 and fixed.FileSubtype == 0, "OS, file type, subtype")
    check(fixed.FileDateMS == 0 and fixed.FileDateLS == 0, "no file date")

    text_version = ", ".join(str(part) for part in parts).encode()
    expected_strings = [
        (b"CompanyName", b""),
        (b"FileDescription", b"VuzirizORURUZA DLL"),
        (b"FileVersion", text_version),
        (b"InternalName", b"VuzirizORURUZA"),
        (b"LegalCopyright", None),
        (b"LegalTrademarks", b""),
        (b"OriginalFilename", b"VuzirizORURUZA.DLL"),
        (b"ProductName", b"VuzirizORURUZA Dynamic Link Library"),
        (b"ProductVersion", text_version),
        (b"OLESelfRegister", b""),
    ]
    tables = [table for info in pe.FileInfo[0] if info.Key == b"StringFileInfo" for table in info.StringTable]
    check([table.LangID.upper() for table in tables] == [b"040904B0"], "one string table, 040904B0")
    if tables:
        entries = list(tables[0].entries.items())
        check([key for key, _ in entries] == [key for key, _ in expected_strings], "version string keys in order")
        for (key, value), (_, expected) in zip(entries, expected_strings):
            check(value == expected if expected is not None else len(value) > 0, "version string " + key.decode())
    translations = [var.entry for info in pe.FileInfo[0] if info.Key == b"VarFileInfo" for var in info.Var]
    check(translations == [{b"Translation": "0x0409 0x04b0"}], "translation 0x0409, 1200")


def string_table_check(block):
    """RT_STRING block 7 holds strings 96..111, each a counted UTF-16 string."""
    strings = []
    offset = 0
    for _ in range(STRINGS_PER_BLOCK):
        (length,) = struct.unpack_from("<H", block, offset)
        strings.append(block[offset + 2: offset + 2 + 2 * length].decode("utf-16-le"))
        offset += 2 + 2 * length
    index = SOCKETS_MESSAGE_ID % STRINGS_PER_BLOCK
    check(strings[index] == "Windows sockets initialization failed.", "string 101")
    check(all(text == "" for i, text in enumerate(strings) if i != index), "no other string")


def type_library_check(data):
    check(data[:4] == MSFT_MAGIC, "type library in MSFT format")
    header = struct.unpack_from("<%di" % MSFT_HEADER_FIELDS, data, 0)
    lcid, varflags, version, type_info_count = header[3], header[5], header[6], header[8]
    help_string, name_offset, help_file = header[9], header[14], header[15]
    check(lcid == US_ENGLISH, "type library locale 0x0409")
    check(varflags & 0xF == SYS_WIN32, "type library system kind: 32-bit Windows")
    check(version == 1, "type library version 1.0")  # major in the low word, minor in the high
    check(type_info_count == 0, "no type descriptions")
    check(help_string == -1 and help_file == -1, "no help string, no help file")

    segments_at = 4 * MSFT_HEADER_FIELDS + 4 * type_info_count + (4 if varflags & MSFT_HAS_HELP_DLL else 0)
    segments = [struct.unpack_from("<4i", data, segments_at + 16 * i) for i in range(MSFT_SEGMENT_COUNT)]
    check(segments[MSFT_TYPE_DESCRIPTION_SEGMENT][1] in (0, -1), "empty type description table")
    # A name entry: type reference, hash link, then the length in the low
    # byte of the third word, then the characters.
    name_entry = segments[MSFT_NAME_TABLE_SEGMENT][0] + name_offset
    length = struct.unpack_from("<i", data, name_entry + 8)[0] & 0xFF
    check(data[name_entry + 12: name_entry + 12 + length] == b"VuzirizORURUZA", "type library name")


def report():
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


def main():
    if sys.argv[1] == "--stripped":
        for path in sys.argv[2:]:
            stripped_check(path)
        return report()
    path, version, processor = sys.argv[1:4]
    pe = pefile.PE(path)
    format_check(pe, processor)
    imports_check(pe)
    exports_check(pe)
    found = resources(pe)
    expected = {("TYPELIB", 1), (RT_STRING, SOCKETS_MESSAGE_ID // STRINGS_PER_BLOCK + 1), (RT_VERSION, 1)}
    check(set(found) == expected, "resources: %s" % sorted(map(str, found)))
    check(all(list(languages) == [US_ENGLISH] for languages in found.values()), "every resource in 0x0409")
    if set(found) == expected:
        version_check(pe, version)
        string_table_check(found[(RT_STRING, 7)][US_ENGLISH])
        type_library_check(found[("TYPELIB", 1)][US_ENGLISH])
    return report()


if __name__ == "__main__":
    sys.exit(main())
