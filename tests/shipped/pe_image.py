"""A PE image as the checks of what ships read it: through pefile, with names
for what pefile leaves raw (the guard flags, CET, the CFG table's entries,
arm64's unwind table). The PDB is read by llvm-pdbutil-19, GNU ld's link map
as the text it is, and instructions by llvm-objdump-19 -d."""
import dataclasses
import re
import struct
import subprocess

import pefile

ARCHES = {0x14C: "x86", 0x8664: "x64", 0xAA64: "arm64"}
# The release's folders of the architectures, in the order --presets names them.
RELEASE_ARCHES = tuple(ARCHES.values())
# IMAGE_FILE_HEADER.Characteristics and IMAGE_OPTIONAL_HEADER.DllCharacteristics.
FILE_FLAGS = {"RELOCS_STRIPPED": 0x1, "LARGE_ADDRESS_AWARE": 0x20}
DLL_FLAGS = {"HIGH_ENTROPY_VA": 0x20, "DYNAMIC_BASE": 0x40, "NX_COMPAT": 0x100,
             "NO_SEH": 0x400, "GUARD_CF": 0x4000}
# IMAGE_LOAD_CONFIG_DIRECTORY.GuardFlags.
GUARD_FLAGS = {"CF_INSTRUMENTED": 0x100, "CF_FUNCTION_TABLE_PRESENT": 0x400}
DEBUG_EX_DLLCHARACTERISTICS = 20  # the extended DLL characteristics' debug entry
CET_COMPAT = 0x1
SECTION_FLAGS = {"EXECUTE": 0x20000000, "WRITE": 0x80000000, "SHARED": 0x10000000}


@dataclasses.dataclass
class Section:
    name: str
    first: int  # its first and last address, relative to the image base
    last: int
    raw: int  # where it starts in the file
    flags: frozenset  # of EXECUTE, WRITE, SHARED

    def offset_of(self, rva):
        return self.raw + rva - self.first


@dataclasses.dataclass
class LoadConfig:
    cookie: int  # the addresses are virtual ones, as the record holds them
    seh_table: int
    seh_count: int
    guard_check: int
    guard_dispatch: int
    guard_flags: frozenset  # of GUARD_FLAGS' names
    guard_targets: list  # the CFG table's entries: the RVAs of the valid call targets
    dependent_load_flags: int


class Image:
    def __init__(self, path):
        self.path = path
        self.pe = pefile.PE(str(path))
        self.arch = ARCHES.get(self.pe.FILE_HEADER.Machine, hex(self.pe.FILE_HEADER.Machine))
        self.width = 4 if self.arch == "x86" else 8
        header = self.pe.OPTIONAL_HEADER
        self.base = header.ImageBase
        self.entry_point = header.AddressOfEntryPoint
        self.os_version = \
            f"{header.MajorOperatingSystemVersion}.{header.MinorOperatingSystemVersion}"
        self.subsystem_version = \
            f"{header.MajorSubsystemVersion}.{header.MinorSubsystemVersion}"
        self.flags = _names(FILE_FLAGS, self.pe.FILE_HEADER.Characteristics) | \
            _names(DLL_FLAGS, header.DllCharacteristics)
        if self._cet_compat():
            self.flags |= {"CET_COMPAT"}
        self.sections = [_section(section) for section in self.pe.sections]

    def directory(self, name):
        """The data directory of that name (IMPORT, BASERELOC, SECURITY, ...)."""
        index = pefile.DIRECTORY_ENTRY[f"IMAGE_DIRECTORY_ENTRY_{name}"]
        return self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[index]

    def exports(self):
        symbols = getattr(self.pe, "DIRECTORY_ENTRY_EXPORT", None)
        return [symbol.name.decode() for symbol in symbols.symbols] if symbols else []

    def imports(self):
        """Each imported module's functions, by the module's name in lower case, without .dll."""
        return {entry.dll.decode().lower().removesuffix(".dll"):
                [function.name.decode() for function in entry.imports]
                for entry in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", [])}

    def section_at(self, rva):
        """The section that holds RVA, or None."""
        return next((s for s in self.sections if s.first <= rva <= s.last), None)

    def load_config(self):
        record = self.pe.DIRECTORY_ENTRY_LOAD_CONFIG.struct
        flags = record.GuardFlags
        # Each entry: an RVA, then as many bytes of flags as the top nibble says.
        stride = 4 + (flags >> 28)
        table = self.pe.get_data(record.GuardCFFunctionTable - self.base,
                                 record.GuardCFFunctionCount * stride)
        targets = [struct.unpack_from("<I", table, at)[0] for at in range(0, len(table), stride)]
        return LoadConfig(record.SecurityCookie, getattr(record, "SEHandlerTable", 0),
                          getattr(record, "SEHandlerCount", 0),
                          record.GuardCFCheckFunctionPointer,
                          record.GuardCFDispatchFunctionPointer, _names(GUARD_FLAGS, flags),
                          targets, record.Reserved1)  # pefile's name for DependentLoadFlags

    def codeview(self):
        """The PDB that the image names: its file name, GUID (as llvm-pdbutil
        writes it) and age."""
        for entry in getattr(self.pe, "DIRECTORY_ENTRY_DEBUG", []):
            info = entry.entry
            if info is not None and hasattr(info, "PdbFileName"):
                guid = f"{info.Signature_Data1:08X}-{info.Signature_Data2:04X}-" \
                       f"{info.Signature_Data3:04X}-{info.Signature_Data4:02X}" \
                       f"{info.Signature_Data5:02X}-{info.Signature_Data6.hex().upper()}"
                return info.PdbFileName.rstrip(b"\0").decode(), guid, info.Age
        return None

    def checksum(self):
        """The checksum the image holds, and the one its bytes give."""
        return self.pe.OPTIONAL_HEADER.CheckSum, self.pe.generate_checksum()

    def unwind_ranges(self):
        """The [start, end) RVAs of every function that has unwind data."""
        if self.arch == "x64":
            return [(entry.struct.BeginAddress, entry.struct.EndAddress)
                    for entry in getattr(self.pe, "DIRECTORY_ENTRY_EXCEPTION", [])]
        if self.arch != "arm64":
            return []
        # pefile reads no arm64 .pdata: 8-byte entries of a start and either a
        # packed record (low bits not 0: the length, bits 2-12, in words) or
        # the RVA of an .xdata record, whose bits 0-17 give it.
        table = self.directory("EXCEPTION")
        data = self.pe.get_data(table.VirtualAddress, table.Size)
        ranges = []
        for start, unwind in struct.iter_unpack("<II", data):
            if unwind & 3:
                length = (unwind >> 2) & 0x7FF
            else:
                length = struct.unpack("<I", self.pe.get_data(unwind, 4))[0] & 0x3FFFF
            ranges.append((start, start + length * 4))
        return ranges

    def instructions(self):
        """(address, mnemonic, operands) of every instruction, as llvm-objdump-19 -d reads them."""
        text = _run("llvm-objdump-19", "-d", "--no-show-raw-insn", self.path)
        found = re.findall(r"^\s*([0-9a-f]+):\s+(\S+)[ \t]*(.*)$", text, re.MULTILINE)
        return [(int(address, 16), mnemonic, operands) for address, mnemonic, operands in found]

    def _cet_compat(self):
        for entry in getattr(self.pe, "DIRECTORY_ENTRY_DEBUG", []):
            if entry.struct.Type == DEBUG_EX_DLLCHARACTERISTICS:
                raw = self.pe.__data__[entry.struct.PointerToRawData:][:4]
                return bool(struct.unpack("<I", raw)[0] & CET_COMPAT)
        return False


def _names(table, value):
    return frozenset(name for name, bit in table.items() if value & bit)


def _section(section):
    size = section.Misc_VirtualSize
    return Section(section.Name.rstrip(b"\0").decode(), section.VirtualAddress,
                   section.VirtualAddress + size - 1, section.PointerToRawData,
                   _names(SECTION_FLAGS, section.Characteristics))


def _run(*command):
    return subprocess.run([str(part) for part in command], check=True,
                          capture_output=True, text=True).stdout


# The PDB, through llvm-pdbutil-19.

def pdb_identity(pdb):
    """The GUID and age that the PDB carries."""
    summary = _run("llvm-pdbutil-19", "dump", "--summary", pdb)
    guid = re.search(r"^\s*GUID: \{(.*)\}$", summary, re.MULTILINE).group(1)
    age = int(re.search(r"^\s*Age: (\d+)$", summary, re.MULTILINE).group(1))
    return guid.upper(), age


def pdb_publics(pdb):
    """Each public symbol's (section number, offset), by name."""
    text = _run("llvm-pdbutil-19", "dump", "--publics", pdb)
    return {name: (int(section), int(offset)) for name, section, offset in
            re.findall(r"`([^`]*)`\s*\n\s*flags = [^\n]*addr = (\d+):(\d+)", text)}


def pdb_procedure_of(pdb, object_name):
    """The first procedure of the object file of that name: its name,
    section number and offset."""
    text = _run("llvm-pdbutil-19", "dump", "--symbols", pdb)
    module = re.search(rf"^Mod \d+ \| `{re.escape(object_name)}`:\s*$(.*?)(?=^Mod |\Z)", text,
                       re.MULTILINE | re.DOTALL)
    found = module and re.search(r"S_GPROC32 [^`]*`([^`]*)`.*?addr = (\d+):(\d+)", module[1],
                                 re.DOTALL)
    return (found[1], int(found[2]), int(found[3])) if found else None


def rva_in(image, section_number, offset):
    """The RVA of a place that a PDB gives as a section number and offset."""
    return image.sections[section_number - 1].first + offset


def map_procedure_of(link_map, object_name):
    """The first symbol of the object's .text in GNU ld's link map: its
    address and name."""
    lines = iter(open(link_map).read().splitlines())
    for line in lines:
        if line.startswith(" .text ") and line.endswith(f"{object_name})"):
            for symbol in lines:
                found = re.match(r"^\s+(0x[0-9a-f]+)\s+(\S+)$", symbol)
                if found:
                    return int(found.group(1), 16), found.group(2)
                if symbol.startswith(" ."):
                    return None
    return None


def patched_copy(path, copy, change):
    """Writes to COPY the image at PATH after change(pe) has altered its
    structures (pefile's): the faults that the checks must refuse."""
    pe = pefile.PE(str(path))
    change(pe)
    pe.write(filename=str(copy))
    return copy
