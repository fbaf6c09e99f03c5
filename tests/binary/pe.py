"""A small reader of 32-bit PE files: the headers, sections, exports and
imports that the binary checks look at, straight from the bytes."""
import struct


class PE:
    def __init__(self, path):
        self.data = data = open(path, "rb").read()
        if data[:2] != b"MZ":
            raise ValueError(f"{path}: no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path}: no PE signature")
        (self.machine, nsections, _, _, _, optsize,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        self.entry, = struct.unpack_from("<I", data, opt + 16)
        self.image_base, = struct.unpack_from("<I", data, opt + 28)
        self.os_version = struct.unpack_from("<HH", data, opt + 40)
        self.subsystem_version = struct.unpack_from("<HH", data, opt + 48)
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, opt + 68)
        ndirs, = struct.unpack_from("<I", data, opt + 92)
        self.dirs = [struct.unpack_from("<II", data, opt + 96 + 8 * i) for i in range(ndirs)]
        self.sections = []
        for i in range(nsections):
            s = opt + optsize + 40 * i
            name = data[s:s + 8].rstrip(b"\0").decode()
            vsize, rva, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
            flags, = struct.unpack_from("<I", data, s + 36)
            self.sections.append((name, rva, max(vsize, rawsize), rawptr, flags))

    def offset(self, rva):
        for _, start, size, rawptr, _ in self.sections:
            if start <= rva < start + size:
                return rva - start + rawptr
        raise ValueError(f"RVA {rva:#x} lies in no section")

    def u16(self, rva):
        return struct.unpack_from("<H", self.data, self.offset(rva))[0]

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode()

    def exports(self):
        """The module name and a list of (name, ordinal)."""
        rva, size = self.dirs[0]
        if not size:
            return None, []
        base = self.u32(rva + 16)
        names, ordinals = self.u32(rva + 32), self.u32(rva + 36)
        return self.string(self.u32(rva + 12)), [
            (self.string(self.u32(names + 4 * i)), base + self.u16(ordinals + 2 * i))
            for i in range(self.u32(rva + 24))]

    def imports(self):
        """{dll name: [function names, or ordinals as numbers]}."""
        result = {}
        rva = self.dirs[1][0]
        while rva and self.u32(rva + 12):
            thunk = self.u32(rva) or self.u32(rva + 16)
            funcs = result.setdefault(self.string(self.u32(rva + 12)), [])
            while self.u32(thunk):
                t = self.u32(thunk)
                funcs.append(t & 0xFFFF if t & 0x80000000 else self.string(t + 2))
                thunk += 4
            rva += 20
        return result

    def resources(self):
        """{(type, name, language): data}; names given as strings are str."""
        root = self.dirs[2][0]
        found = {}

        def walk(rva, path):
            named, numbered = self.u16(rva + 12), self.u16(rva + 14)
            for i in range(named + numbered):
                name, target = self.u32(rva + 16 + 8 * i), self.u32(rva + 20 + 8 * i)
                if name & 0x80000000:
                    at = root + (name & 0x7FFFFFFF)
                    start = self.offset(at + 2)
                    name = self.data[start:start + 2 * self.u16(at)].decode("utf-16-le")
                if target & 0x80000000:
                    walk(root + (target & 0x7FFFFFFF), path + (name,))
                else:
                    data_rva, size = self.u32(root + target), self.u32(root + target + 4)
                    start = self.offset(data_rva)
                    found[path + (name,)] = self.data[start:start + size]

        if root:
            walk(root, ())
        return found


IMAGE_FILE_MACHINE_I386 = 0x14C
IMAGE_FILE_DLL = 0x2000
PE32_MAGIC = 0x10B
DYNAMIC_BASE, NX_COMPAT = 0x40, 0x100
MEM_EXECUTE, MEM_WRITE = 0x20000000, 0x80000000


def common_problems(pe, allowed_dlls):
    """What every deliverable must get right; returns a list of complaints."""
    problems = []
    if pe.machine != IMAGE_FILE_MACHINE_I386 or pe.magic != PE32_MAGIC:
        problems.append(f"not PE32 for i386 (machine {pe.machine:#x}, magic {pe.magic:#x})")
    if pe.subsystem_version != (4, 0):
        problems.append(f"subsystem version {pe.subsystem_version}, not (4, 0)")
    if pe.dll_characteristics & (DYNAMIC_BASE | NX_COMPAT) != DYNAMIC_BASE | NX_COMPAT:
        problems.append(f"DllCharacteristics {pe.dll_characteristics:#x} lacks DYNAMIC_BASE or NX_COMPAT")
    for name, _, _, _, flags in pe.sections:
        if flags & MEM_WRITE and flags & MEM_EXECUTE:
            problems.append(f"section {name} is both writable and executable")
    allowed = {d.lower() for d in allowed_dlls}
    for dll in pe.imports():
        if dll.lower() not in allowed:
            problems.append(f"imports {dll}, which is not one of {sorted(allowed_dlls)}")
    return problems


def report(what, problems):
    for p in problems:
        print(f"{what}: {p}")
    print(f"{what}: {'FAILED' if problems else 'ok'}")
    return 1 if problems else 0
