#!/usr/bin/python3
"""release_check.py IMPORTS VERSION PROGRAM.exe...

Checks what Windows reads of each program before it runs it:
- every function it imports is in the list IMPORTS, no listed function is newer than the list's
  floor, and the program declares that floor as its subsystem and operating system version;
- its manifest runs it with the user's own rights (so Windows does not redirect its writes),
  names every Windows from Vista to 11, takes UTF-8 as its ANSI code page, and keeps the
  classic controls and Windows' scaling;
- its version resource gives VERSION, the product, a description and the program's own name;
- its PE header carries no time stamp, which would be the clock's and differ between two builds.
"""
import os
import sys
import xml.etree.ElementTree as ElementTree

import pefile

ASSEMBLY = "{urn:schemas-microsoft-com:asm.v1}"
TRUST = "{urn:schemas-microsoft-com:asm.v2}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
WINDOWS_SETTINGS = "{http://schemas.microsoft.com/SMI/2019/WindowsSettings}"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
}
ARCHITECTURES = {pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]: "x86",
                 pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]: "amd64"}


def version_tuple(text):
    major, minor = text.split(".")
    return int(major), int(minor)


def read_import_list(path):
    """The floor, and each listed (DLL, function) with its oldest Windows version."""
    floor = None
    allowed = {}
    with open(path, encoding="ascii") as listing:
        for line in listing:
            words = line.split()
            if not words or words[0].startswith("#"):
                continue
            if words[0] == "floor":
                floor = version_tuple(words[1])
            else:
                allowed[(words[0].upper(), words[1])] = version_tuple(words[2])
    return floor, allowed


def check_imports(pe, floor, allowed):
    problems = []
    for dll in pe.DIRECTORY_ENTRY_IMPORT:
        for function in dll.imports:
            name = function.name.decode() if function.name else "#%d" % function.ordinal
            if (dll.dll.decode().upper(), name) not in allowed:
                problems.append("imports %s %s, which the list does not hold" %
                                (dll.dll.decode(), name))
    for (dll, name), version in sorted(allowed.items()):
        if version > floor:
            problems.append("the list gives %s %s Windows %d.%d, newer than the floor" %
                            ((dll, name) + version))
    header = pe.OPTIONAL_HEADER
    declared = {
        "subsystem": (header.MajorSubsystemVersion, header.MinorSubsystemVersion),
        "operating system": (header.MajorOperatingSystemVersion,
                             header.MinorOperatingSystemVersion),
    }
    for what, version in declared.items():
        if version != floor:
            problems.append("declares %s version %d.%d, not the floor %d.%d" %
                            ((what,) + version + floor))
    return problems


def manifest_of(pe):
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in resources.entries if resources else []:
        if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            for name in kind.directory.entries:
                if name.id == 1:  # the one Windows reads when it starts a program
                    data = name.directory.entries[0].data.struct
                    return pe.get_data(data.OffsetToData, data.Size)
    return None


def check_manifest(pe):
    text = manifest_of(pe)
    if text is None:
        return ["has no manifest"]
    root = ElementTree.fromstring(text)
    problems = []
    identity = root.find(ASSEMBLY + "assemblyIdentity")
    architecture = ARCHITECTURES.get(pe.FILE_HEADER.Machine)
    if identity is None or identity.get("processorArchitecture") != architecture:
        problems.append("its manifest does not name its architecture %s" % architecture)
    levels = [element.attrib for element in root.iter(TRUST + "requestedExecutionLevel")]
    if levels != [{"level": "asInvoker", "uiAccess": "false"}]:
        problems.append("its manifest asks for the execution levels %s, not asInvoker" % levels)
    pages = [element.text for element in root.iter(WINDOWS_SETTINGS + "activeCodePage")]
    if pages != ["UTF-8"]:
        problems.append("its manifest gives the code pages %s, not UTF-8" % pages)
    systems = [element.get("Id") for element in root.iter(COMPATIBILITY + "supportedOS")]
    if sorted(systems) != sorted(SUPPORTED_OS):
        problems.append("its manifest names the systems %s" % systems)
    for element in root.iter():
        local = element.tag.split("}")[-1]
        if local in ("dependency", "dpiAware", "dpiAwareness"):
            problems.append("its manifest declares %s" % local)
    return problems


def check_version(pe, path, version):
    expected_words = [int(word) for word in version.split(".")]
    expected_words += [0] * (4 - len(expected_words))
    expected_text = ".".join(str(word) for word in expected_words)
    problems = []
    if not hasattr(pe, "VS_FIXEDFILEINFO"):
        return ["has no version resource"]
    fixed = pe.VS_FIXEDFILEINFO[0]
    for what in ("File", "Product"):
        words = [getattr(fixed, what + "VersionMS") >> 16, getattr(fixed, what + "VersionMS") & 0xFFFF,
                 getattr(fixed, what + "VersionLS") >> 16, getattr(fixed, what + "VersionLS") & 0xFFFF]
        if words != expected_words:
            problems.append("its fixed %s version is %s" % (what.lower(), words))
    strings = {}
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            for key, value in table.entries.items():
                strings[key.decode()] = value.decode()
    expected = {"FileVersion": expected_text, "ProductVersion": expected_text,
                "ProductName": "KOV Extractor", "OriginalFilename": os.path.basename(path)}
    for key, value in expected.items():
        if strings.get(key) != value:
            problems.append("its %s is %r, not %r" % (key, strings.get(key), value))
    if not strings.get("FileDescription"):
        problems.append("it has no FileDescription")
    return problems


def check_time_stamp(pe):
    stamp = pe.FILE_HEADER.TimeDateStamp
    return ["carries the time stamp %d in its PE header" % stamp] if stamp != 0 else []


def main():
    if len(sys.argv) < 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    floor, allowed = read_import_list(sys.argv[1])
    failed = False
    for path in sys.argv[3:]:
        pe = pefile.PE(path)
        problems = (check_imports(pe, floor, allowed) + check_manifest(pe) +
                    check_version(pe, path, sys.argv[2]) + check_time_stamp(pe))
        for problem in problems:
            print("%s %s" % (os.path.basename(path), problem))
        failed = failed or bool(problems)
        if not problems:
            print("%s: imports, floor %d.%d, manifest, version and time stamp as they should be" %
                  ((os.path.basename(path),) + floor))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
