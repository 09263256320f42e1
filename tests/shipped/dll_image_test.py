"""The shipped DLL as a host's loader sees it: its format, getXtable its one
export, only KERNEL32, USER32 and the system C runtime needed, its own load
entry its entry point, its size budget; and that it and the demo host say
their architecture's floor and import only what Windows has there
(imports.txt)."""
import pathlib

import pytest

import pe_image

SIZE_BUDGET = 20480
IMPORTS_LIST = pathlib.Path(__file__).with_name("imports.txt")


def version(text):
    return tuple(int(part) for part in text.split("."))


def imports_list(arch):
    """The architecture's floor, and the Windows that first has each function
    that imports.txt lists for it, by (module, function)."""
    floor, since = None, {}
    for line in IMPORTS_LIST.read_text().splitlines():
        words = line.split()
        if not words or words[0].startswith("#"):
            continue
        if words[0] == "floor":
            floor = words[2] if words[1] == arch else floor
        elif words[3] == "all" or arch in words[3].split(","):
            since[words[0], words[1]] = words[2]
    return floor, since


def test_the_format_is_the_architectures(build, shipped):
    assert pe_image.Image(shipped.dll).arch == build.arch


def test_getxtable_is_the_one_export(shipped):
    assert pe_image.Image(shipped.dll).exports() == ["getXtable"]


def test_only_kernel32_user32_and_msvcrt_are_needed(shipped):
    assert sorted(pe_image.Image(shipped.dll).imports()) == ["kernel32", "msvcrt", "user32"]


def test_the_size_is_within_its_budget(shipped):
    assert shipped.dll.stat().st_size <= SIZE_BUDGET


def test_the_entry_point_is_the_load_entry_of_load_entry_cpp(shipped):
    """The module's own procedure, not the C runtime's stand-in, as the PDB or
    GNU ld's link map places it."""
    image = pe_image.Image(shipped.dll)
    if shipped.symbols.suffix == ".pdb":
        found = pe_image.pdb_procedure_of(shipped.symbols, "load_entry.cpp.obj")
        assert found, f"{shipped.symbols.name} holds no procedure of load_entry.cpp"
        name, section, offset = found
        address = pe_image.rva_in(image, section, offset)
    else:
        found = pe_image.map_procedure_of(shipped.symbols, "load_entry.cpp.obj")
        assert found, f"{shipped.symbols.name} places nothing of load_entry.cpp"
        address, name = found[0] - image.base, found[1]
    assert address == image.entry_point, \
        f"the entry point {image.entry_point:#x} is not the load entry {name} of load_entry.cpp"


@pytest.mark.parametrize("which", ["dll", "host"])
def test_the_image_needs_the_floor_and_imports_only_what_windows_has_there(build, shipped, which):
    image = pe_image.Image(getattr(shipped, which))
    name, arch = image.path.name, build.arch
    floor, since = imports_list(arch)
    wanted = ".".join(floor.split(".")[:2])
    problems = []
    if (image.os_version, image.subsystem_version) != (wanted, wanted):
        problems.append(f"{name} gives OS and subsystem versions {image.os_version}"
                        f" {image.subsystem_version} for the floor {floor}")
    for module, functions in image.imports().items():
        for function in functions:
            first = since.get((module, function))
            if first is None:
                problems.append(f"{name} imports {module} {function},"
                                f" which imports.txt does not list for {arch}")
            elif first != "every" and version(first) > version(floor):
                problems.append(f"{name} imports {module} {function} of Windows {first},"
                                f" above the {arch} floor {floor}")
    assert not problems, "\n".join(problems)


def move_entry_point(pe):
    pe.OPTIONAL_HEADER.AddressOfEntryPoint += 0x10


def claim_vista(pe):  # what 1.2.0's images said
    for field in ("OperatingSystem", "Subsystem"):
        setattr(pe.OPTIONAL_HEADER, f"Major{field}Version", 6)
        setattr(pe.OPTIONAL_HEADER, f"Minor{field}Version", 0)


def rename_first_import(pe):
    function = pe.DIRECTORY_ENTRY_IMPORT[0].imports[0]
    pe.set_bytes_at_offset(function.name_offset + len(function.name) - 1, b"_")


def entry_point_check(build, shipped):
    test_the_entry_point_is_the_load_entry_of_load_entry_cpp(shipped)


def floor_check(build, shipped):
    test_the_image_needs_the_floor_and_imports_only_what_windows_has_there(build, shipped, "dll")


@pytest.mark.parametrize("fault, check, refused", [
    (move_entry_point, entry_point_check, "is not the load entry"),
    (claim_vista, floor_check, "gives OS and subsystem versions 6.0 6.0 for the floor"),
    (rename_first_import, floor_check, "which imports.txt does not list for"),
])
def test_a_copy_with_a_fault_is_refused(build, shipped, tmp_path, fault, check, refused):
    copy = pe_image.patched_copy(shipped.dll, tmp_path / "zibwin32.dll", fault)
    with pytest.raises(AssertionError, match=refused):
        check(build, type(shipped)(**{**vars(shipped), "dll": copy}))


def test_an_import_above_the_floor_is_refused(build, shipped, monkeypatch, tmp_path):
    module, functions = next(iter(pe_image.Image(shipped.dll).imports().items()))
    listed = tmp_path / "imports.txt"
    with open(listed, "w") as file:
        file.write(IMPORTS_LIST.read_text())
        file.write(f"{module} {functions[0]} 10.0.22000 all\n")  # the later line holds
    monkeypatch.setitem(globals(), "IMPORTS_LIST", listed)
    with pytest.raises(AssertionError, match=f"{functions[0]} of Windows 10.0.22000, above the"):
        floor_check(build, shipped)
