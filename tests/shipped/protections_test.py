"""The protections that a host's security review checks of a DLL it loads,
the way BinSkim reports its rules (the BinSkim rule where there is one): one
row per protection, a failing test where one is missing. Each row goes to the
file that ZIBWIN32_REPORT names too, for the test command."""
import os
import pathlib
import re
import subprocess
import types

import pytest

import pe_image

LAYOUT = pathlib.Path(__file__).parents[2] / "zibwin32/entry/load_config_layout.h"
CALLS = {"call", "calll", "callq", "bl", "blr"}  # x86 and x64; arm64


def facts(dll, pdb):
    """What the rows read of a DLL and its PDB."""
    image = pe_image.Image(dll)
    publics = pe_image.pdb_publics(pdb)

    def address_of(pattern):  # a public symbol's virtual address, if there is one
        name = next((name for name in publics if re.fullmatch(pattern, name)), None)
        return name and image.base + pe_image.rva_in(image, *publics[name])

    return types.SimpleNamespace(image=image, arch=image.arch, config=image.load_config(),
                                 instructions=image.instructions(), address_of=address_of)


def guard(f):
    """The loader sets the guard's check pointer, and on x64 its dispatch
    pointer, through the addresses that the load configuration holds: each
    must name the module's own slot, or the loader writes elsewhere and calls
    go unchecked. The compiler dispatches through a slot on x64 alone; the
    record names none elsewhere. Windows marks valid targets by the 16 bytes
    they start."""
    config = f.config
    unaligned = sum(1 for target in config.guard_targets if target % 16)
    check = f.address_of("_*__guard_check_icall_fptr")
    dispatch = f.address_of("__guard_dispatch_icall_fptr") if f.arch == "x64" else 0
    ok = ("GUARD_CF" in f.image.flags and config.guard_flags == set(pe_image.GUARD_FLAGS)
          and config.guard_targets and not unaligned
          and check and config.guard_check == check
          and dispatch is not None and config.guard_dispatch == dispatch)
    pointers = "check and dispatch pointer" if f.arch == "x64" else "check pointer"
    return ok, (f"GUARD_CF, calls checked, {len(config.guard_targets) or 'no'} valid call"
                f" targets ({unaligned} not 16-byte aligned), the {pointers} naming the"
                f" module's slot")


def relocatable(f):
    ok = ({"DYNAMIC_BASE"} <= f.image.flags and "RELOCS_STRIPPED" not in f.image.flags
          and f.image.directory("BASERELOC").Size > 0)
    return ok, "DYNAMIC_BASE, relocations kept"


def imports_not_executable(f):
    section = f.image.section_at(f.image.directory("IMPORT").VirtualAddress)
    return "EXECUTE" not in section.flags, f"imports in {section.name}"


def no_section(flags, said):
    """No section is all of FLAGS at once; SAID names them in the row."""
    def rule(f):
        ok = not any(set(flags) <= section.flags for section in f.image.sections)
        return ok, f"no section both {said}"
    return rule


def cookie_at_default(f):
    """The cookie that the load configuration points at lies in writable
    data and holds the value that the loader replaces."""
    width = f.image.width
    default = re.search(rf"defaultCookie{width * 8} = (0x[0-9A-F]+)", LAYOUT.read_text())
    section = f.image.section_at(f.config.cookie - f.image.base)
    stored = f.image.pe.get_data(f.config.cookie - f.image.base, width)
    ok = "WRITE" in section.flags and int.from_bytes(stored, "little") == int(default[1], 16)
    return ok, f"cookie in {section.name} at the default value, made random by the loader"


def stack_checked(f):
    fail = f.address_of("_*__stack_chk_fail")
    checks = sum(1 for _, mnemonic, operands in f.instructions
                 if fail and mnemonic in CALLS and operands.startswith(f"0x{fail:x} "))
    return checks > 0, f"{checks} functions with buffers on the stack check the cookie"


def safe_seh(f):
    touches = any("%fs:" in operands for _, _, operands in f.instructions)
    return "NO_SEH" in f.image.flags and not touches, \
        "NO_SEH, and no code touches the exception list"


def unwind_data(f):
    """Every call lies inside a function that has unwind data: stack walks
    and exception dispatch find every frame."""
    ranges = f.image.unwind_ranges()
    sites = [address - f.image.base for address, mnemonic, _ in f.instructions
             if mnemonic in CALLS]
    outside = [at for at in sites if not any(start <= at < end for start, end in ranges)]
    return bool(sites) and not outside, \
        f"every call inside a function with unwind data ({len(outside)} of {len(sites)} outside)"


def signed_securely(f):
    """An unsigned DLL makes the row n/a (None): a release is signed only
    where its maintainer names a certificate."""
    if f.image.directory("SECURITY").Size == 0:
        return None, "unsigned: a release is signed where its maintainer names a certificate"
    verified = subprocess.run(["osslsigncode", "verify", "-in", f.image.path],
                              capture_output=True, text=True).stdout
    digests = sorted(set(re.findall(r"^(Message digest|Page hash) algorithm\s*: (\S+)",
                                    verified, re.MULTILINE)))
    return digests == [("Message digest", "SHA256"), ("Page hash", "SHA256")], \
        ",".join(f"{kind.lower()} {name}" for kind, name in digests)


def flag(name):
    return lambda f: (name in f.image.flags, name)


# ID, BinSkim's rule, where the row applies (None: everywhere), the rule,
# which gives whether the DLL passes (None: not for this DLL) and the detail.
ROWS = [
    ("BA2008", "EnableControlFlowGuard", None, guard),
    ("BA2009", "EnableAddressSpaceLayoutRandomization", None, relocatable),
    ("BA2001", "LoadImageAboveFourGigabyteAddress", {"x64", "arm64"},
     lambda f: (f.image.base >= 1 << 32, f"image base 0x{f.image.base:X}")),
    ("BA2015", "EnableHighEntropyVirtualAddresses", {"x64", "arm64"},
     lambda f: ({"HIGH_ENTROPY_VA", "LARGE_ADDRESS_AWARE"} <= f.image.flags, "HIGH_ENTROPY_VA")),
    ("BA2016", "MarkImageAsNXCompatible", None, flag("NX_COMPAT")),
    ("BA2010", "DoNotMarkImportsSectionAsExecutable", None, imports_not_executable),
    ("BA2021", "DoNotMarkWritableSectionsAsExecutable", None,
     no_section({"WRITE", "EXECUTE"}, "writable and executable")),
    ("BA2019", "DoNotMarkWritableSectionsAsShared", None,
     no_section({"WRITE", "SHARED"}, "writable and shared")),
    ("BA2012", "DoNotModifyStackProtectionCookie", None, cookie_at_default),
    ("BA2011", "EnableStackProtection", None, stack_checked),
    ("BA2025", "EnableShadowStack", {"x86", "x64"}, flag("CET_COMPAT")),
    ("BA2018", "EnableSafeSEH", {"x86"}, safe_seh),
    ("-", "LoadDependenciesFromSystem32", None,
     lambda f: (f.config.dependent_load_flags == 0x800,
                "DependentLoadFlags LOAD_LIBRARY_SEARCH_SYSTEM32")),
    ("-", "ProvideUnwindData", {"x64", "arm64"}, unwind_data),
    ("BA2022", "SignSecurely", None, signed_securely),
]


def row(f, rule_id, name, arches, rule):
    """The row's line and whether it passed: None where it does not apply to
    the architecture (arm64 says so, x86 and x64 leave it out)."""
    if arches is not None and f.arch not in arches:
        if f.arch != "arm64":
            return None, None
        result, detail = "n/a", "does not apply to arm64"
    else:
        ok, detail = rule(f)
        if ok is None:
            result = "n/a"
        else:
            result = "pass" if ok else "FAIL"
    return f"{rule_id:<6} {name:<38} {f.arch:<3} {result:<4} {detail}", result != "FAIL"


@pytest.fixture(scope="module")
def shipped_facts(build):
    return facts(build.dll, build.pdb)


@pytest.mark.parametrize("rule_id, name, arches, rule", ROWS, ids=[r[1] for r in ROWS])
def test_protection(shipped_facts, rule_id, name, arches, rule):
    line, passed = row(shipped_facts, rule_id, name, arches, rule)
    if line is None:
        pytest.skip(f"{name} does not apply to {shipped_facts.arch}")
    print(line)
    if os.environ.get("ZIBWIN32_REPORT"):
        with open(os.environ["ZIBWIN32_REPORT"], "a") as report:
            report.write(line + "\n")
    assert passed, line


def swap_guard_pointers(pe):
    config = pe.DIRECTORY_ENTRY_LOAD_CONFIG.struct
    config.GuardCFCheckFunctionPointer, config.GuardCFDispatchFunctionPointer = \
        config.GuardCFDispatchFunctionPointer, config.GuardCFCheckFunctionPointer


def misalign_a_guard_target(pe):
    config = pe.DIRECTORY_ENTRY_LOAD_CONFIG.struct
    at = config.GuardCFFunctionTable - pe.OPTIONAL_HEADER.ImageBase
    pe.set_dword_at_rva(at, pe.get_dword_at_rva(at) + 4)


@pytest.mark.parametrize("fault", [swap_guard_pointers, misalign_a_guard_target])
def test_control_flow_guard_refuses(build, tmp_path, fault):
    """The image still claims Control Flow Guard, but the loader would set
    the wrong slots, or a target's 16 bytes would not be marked valid."""
    copy = pe_image.patched_copy(build.dll, tmp_path / "zibwin32.dll", fault)
    line, passed = row(facts(copy, build.pdb), *ROWS[0])
    print(f"with {fault.__name__}: {line}")
    assert not passed
