"""What both deliverables must get right, read with pefile: 32-bit code for
Windows 4.0 with ASLR and DEP, no section both writable and executable, and
imports from no DLL but the allowed ones."""
import pefile

I386 = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]
IMAGE_FILE_DLL = pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]
DYNAMIC_BASE = pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"]
NX_COMPAT = pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_NX_COMPAT"]
MEM_WRITE = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"]
MEM_EXECUTE = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_EXECUTE"]


def imports(pe):
    """{dll name: [function names, or ordinals as numbers]}."""
    return {entry.dll.decode(): [i.name.decode() if i.name else i.ordinal for i in entry.imports]
            for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}


def common_problems(pe, allowed_dlls):
    """Returns a list of complaints."""
    problems = []
    opt = pe.OPTIONAL_HEADER
    if pe.FILE_HEADER.Machine != I386 or opt.Magic != pefile.OPTIONAL_HEADER_MAGIC_PE:
        problems.append(f"not PE32 for i386 (machine {pe.FILE_HEADER.Machine:#x}, magic {opt.Magic:#x})")
    version = (opt.MajorSubsystemVersion, opt.MinorSubsystemVersion)
    if version != (4, 0):
        problems.append(f"subsystem version {version}, not (4, 0)")
    if opt.DllCharacteristics & (DYNAMIC_BASE | NX_COMPAT) != DYNAMIC_BASE | NX_COMPAT:
        problems.append(f"DllCharacteristics {opt.DllCharacteristics:#x} lacks DYNAMIC_BASE or NX_COMPAT")
    for s in pe.sections:
        name = s.Name.rstrip(b"\0").decode()
        if s.Characteristics & MEM_WRITE and s.Characteristics & MEM_EXECUTE:
            problems.append(f"section {name} is both writable and executable")
    allowed = {d.lower() for d in allowed_dlls}
    for dll in imports(pe):
        if dll.lower() not in allowed:
            problems.append(f"imports {dll}, which is not one of {sorted(allowed_dlls)}")
    return problems


def report(what, problems):
    for p in problems:
        print(f"{what}: {p}")
    print(f"{what}: {'FAILED' if problems else 'ok'}")
    return 1 if problems else 0
