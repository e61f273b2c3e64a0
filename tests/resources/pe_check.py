#!/usr/bin/python3
"""Reads a PE file rewritten by the resource editor with pefile, a reader written by
others, and compares it with the file it was made from.

    pe_check.py ORIGINAL EDITED
    pe_check.py FILE
    pe_check.py --sfx FILE LEVEL VERSION

Prints "FAIL reason" for each check that does not hold, "T language" for the first
version translation, and "R type/name/LLLL hexdata" for every resource in the order of
the tree, keyed as the tests key them. With one file, only its translation and resources;
with --sfx, the checks of an SFX file whose launch target has no version information."""
import sys

import pefile

RESOURCE, SECURITY, RELOCATION = 2, 4, 5


def fail(text):
    print("FAIL " + text)


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def directory(pe, index):
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[index]
    return entry.VirtualAddress, entry.Size


def holder(pe, rva):
    for s in pe.sections:
        if s.VirtualAddress <= rva < s.VirtualAddress + max(s.Misc_VirtualSize, s.SizeOfRawData):
            return s
    return None


def initialized(pe):
    return sum(s.SizeOfRawData for s in pe.sections if s.Characteristics & 0x40)


def key_text(entry):
    return str(entry.name) if entry.name is not None else "#%d" % entry.id


def main(original_path, edited_path):
    original, edited = pefile.PE(original_path), pefile.PE(edited_path)
    for warning in edited.get_warnings():
        if warning not in original.get_warnings():
            fail("pefile warns: " + warning)
    if not edited.verify_checksum():
        fail("header checksum")

    header = edited.OPTIONAL_HEADER
    end = None
    for s in sorted(edited.sections, key=lambda s: s.VirtualAddress):
        name = s.Name.rstrip(b"\0").decode("latin-1")
        if s.VirtualAddress % header.SectionAlignment:
            fail("section %s not aligned in memory" % name)
        if s.SizeOfRawData and (s.SizeOfRawData % header.FileAlignment or s.PointerToRawData % header.FileAlignment):
            fail("section %s not aligned in the file" % name)
        if end is not None and s.VirtualAddress < end:
            fail("section %s overlaps the one before it" % name)
        end = align(s.VirtualAddress + max(s.Misc_VirtualSize, 1), header.SectionAlignment)
    if header.SizeOfImage != end:
        fail("SizeOfImage %#x, the sections end at %#x" % (header.SizeOfImage, end))
    if header.SizeOfInitializedData - initialized(edited) != \
            original.OPTIONAL_HEADER.SizeOfInitializedData - initialized(original):
        fail("SizeOfInitializedData does not follow the raw sizes")
    if directory(edited, SECURITY) != (0, 0):
        fail("a certificate directory is left")
    symbols = original.FILE_HEADER.PointerToSymbolTable, edited.FILE_HEADER.PointerToSymbolTable
    if symbols[0] and original.__data__[symbols[0]:] != edited.__data__[symbols[1]:]:
        fail("the symbol table did not move with the sections")
    if not symbols[1] and edited.get_overlay():
        fail("bytes after the sections")

    rva, size = directory(edited, RESOURCE)
    section = holder(edited, rva)
    if section is None or section.VirtualAddress != rva or size > section.Misc_VirtualSize:
        fail("the resource directory does not start its own section")
    if directory(original, RELOCATION)[1]:
        before, after = directory(original, RELOCATION), directory(edited, RELOCATION)
        if original.get_data(*before) != edited.get_data(*after):
            fail("the base relocations changed")

    # Every section besides the resources keeps its bytes.
    old_rva = directory(original, RESOURCE)[0]
    for s in original.sections:
        if old_rva and holder(original, old_rva) is s:
            continue
        same = [t for t in edited.sections if t.Name == s.Name and t.SizeOfRawData == s.SizeOfRawData]
        if not same or same[0].get_data() != s.get_data():
            fail("section %s changed" % s.Name.rstrip(b"\0").decode("latin-1"))
    listing(edited)


def listing(edited):
    for info in getattr(edited, "FileInfo", None) or []:
        for block in info:
            for var in getattr(block, "Var", []):
                translation = var.entry.get(b"Translation") or var.entry.get("Translation")
                if translation:
                    print("T %d" % int(translation.split()[0], 16))
    if hasattr(edited, "DIRECTORY_ENTRY_RESOURCE"):
        for type_entry in edited.DIRECTORY_ENTRY_RESOURCE.entries:
            for name_entry in type_entry.directory.entries:
                for language in name_entry.directory.entries:
                    data = edited.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
                    print("R %s/%s/%04X %s" % (key_text(type_entry), key_text(name_entry), language.id, data.hex()))


# An SFX file made by Orvex: its level, the systems it was made for (7 to 11), its DPI
# awareness, Orvex's own version information, and the checksum of the whole file.
def sfx(path, level, version):
    pe = pefile.PE(path)
    if pe.OPTIONAL_HEADER.CheckSum != pe.generate_checksum():
        fail("checksum")
    manifest = b"".join(pe.get_data(l.data.struct.OffsetToData, l.data.struct.Size)
                        for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == 24
                        for n in t.directory.entries for l in n.directory.entries).decode()
    for part in ['level="%s"' % level, ">true</dpiAware>", "{35138b9a-", "{4a2f28e3-", "{1f676c76-", "{8e0f7a12-"]:
        if part not in manifest:
            fail("the manifest lacks " + part)
    strings = {k: v for info in pe.FileInfo for block in info for table in getattr(block, "StringTable", [])
               for k, v in table.entries.items()}
    if (strings.get(b"ProductName"), strings.get(b"FileVersion")) != (b"Orvex", version.encode()):
        fail("version information %s" % strings)


if __name__ == "__main__":
    if sys.argv[1] == "--sfx":
        sfx(*sys.argv[2:5])
    elif len(sys.argv) == 2:
        listing(pefile.PE(sys.argv[1]))
    else:
        main(sys.argv[1], sys.argv[2])
