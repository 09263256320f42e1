"""A DLL and its PDB belong together, as a Windows debugger checks it: the
DLL's CodeView debug directory names the PDB by its bare file name and
carries the PDB's GUID and age; the DLL holds no DWARF of its own; the PDB
knows the export by name."""
import pe_image


def test_the_dll_names_its_pdb_by_file_name_guid_and_age(shipped):
    name, guid, age = pe_image.Image(shipped.dll).codeview()
    assert name == shipped.symbols.name
    assert (guid, age) == pe_image.pdb_identity(shipped.symbols)


def test_the_dll_carries_no_dwarf(shipped):
    sections = [section.name for section in pe_image.Image(shipped.dll).sections]
    # Long section names stand in the string table as /NUMBER; pefile gives them so.
    assert not [name for name in sections if name.startswith((".debug", "/"))]


def test_the_pdb_knows_the_export(shipped):
    assert {"getXtable", "_getXtable"} & set(pe_image.pdb_publics(shipped.symbols))
