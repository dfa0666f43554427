#!/usr/bin/env python3
"""Checks a built NT kernel image against the rules the kernel sets a miniport.

  floor     every instruction in every executable section belongs to the 80486
            integer instruction set (no x87, MMX, SSE, cmov, cpuid, rdtsc, ...)
  stack     the deepest stack use of each entry point, from the compiler's
            frame sizes and the image's own call graph, against a budget
  resident  all code the raised-priority routine and the copied-out code block
            reach lies in resident code; the rest is listed as pageable

Everything is read from the image (sections, symbols, base relocations, the
disassembly of binutils' objdump) except the frame sizes, which come from the
compiler's -fcallgraph-info=su files. ctest runs it (image.NtRules.*); by hand:

  python3 image/check_image.py floor build/default/image/zel.sys
  python3 image/check_image.py stack build/default/image/zel.sys \\
      --frames build/default/image/zel --header miniport/videoport.h ...

(see tests/CMakeLists.txt for the arguments the tests give).
"""

import argparse
import contextlib
import glob
import io
import os
import re
import struct
import subprocess
import sys

# ---------------------------------------------------------------------------
# The 80486 integer instruction set, as objdump spells it in Intel syntax.

I486_INTEGER = set("""
aaa aad aam aas adc add and arpl bound bsf bsr bswap bt btc btr bts call cbw
cdq clc cld cli clts cmc cmp cmps cmpsb cmpsw cmpsd cmpxchg cwd cwde daa das
dec div enter hlt idiv imul in inc ins insb insw insd int int3 into invd invlpg
iret iretd iretw ja jae jb jbe jcxz je jecxz jg jge jl jle jmp jne jno jnp jns
jo jp js lahf lar lcall lds lea leave les lfs lgdt lgs lidt ljmp lldt lmsw
lods lodsb lodsw lodsd loop loope loopne lret lsl lss ltr mov movs movsb movsw
movsd movsx movzx mul neg nop not or out outs outsb outsw outsd pop popa popad
popf popfd push pusha pushad pushf pushfd rcl rcr ret retf rol ror sahf sal sar
sbb scas scasb scasw scasd seta setae setb setbe sete setg setge setl setle
setne setno setnp setns seto setp sets sgdt shl shld shr shrd sidt sldt smsw
stc std sti stos stosb stosw stosd str sub test verr verw wbinvd xadd xchg xlat
xlatb xor
""".split())

PREFIXES = {"rep", "repz", "repe", "repnz", "repne", "lock", "cs", "ds", "es", "fs", "gs", "ss",
            "data16", "addr16", "data32", "addr32"}

# Registers no 80486 integer instruction names: x87, MMX, SSE/AVX, mask and
# bound registers, and the control registers the Pentium added.
NEWER_REGISTERS = re.compile(r"\b(st(\(\d\))?|mm\d|[xyz]mm\d+|k[0-7]|bnd[0-3]|cr([4-9]|1[0-5]))\b")


def Family(mnemonic, operands):
    """Why an instruction is outside the set, in a reviewer's words."""
    if mnemonic == "(bad)":
        return "bytes that are no instruction"
    if mnemonic.startswith("cmov"):
        return "conditional move (Pentium Pro)"
    if mnemonic.startswith(("fcmov", "fcomi", "fucomi")):
        return "x87 conditional move or compare (Pentium Pro)"
    if mnemonic.startswith("f") or mnemonic == "wait":
        return "x87 floating point"
    if mnemonic in ("cpuid", "rdtsc", "rdmsr", "wrmsr", "rdpmc", "rsm", "cmpxchg8b"):
        return "Pentium"
    if mnemonic in ("ud2", "sysenter", "sysexit"):
        return "Pentium Pro"
    if mnemonic == "nop":
        return "multi-byte nop (Pentium Pro)"
    if re.search(r"\b[xyz]mm\d", operands) or mnemonic.startswith("v"):
        return "SSE/AVX"
    if re.search(r"\bmm\d", operands) or mnemonic == "emms":
        return "MMX"
    return "not an 80486 integer instruction"


# ---------------------------------------------------------------------------
# The image: PE headers, sections, base relocations; symbols and disassembly
# from binutils.

IMAGE_SCN_CNT_CODE = 0x00000020
IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_REL_BASED_ABSOLUTE = 0
IMAGE_REL_BASED_HIGHLOW = 3


class Failure(Exception):
    pass


class Section:
    def __init__(self, name, va, size, raw, characteristics):
        self.name, self.va, self.size, self.raw = name, va, size, raw
        self.characteristics = characteristics

    @property
    def executable(self):
        return bool(self.characteristics & (IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE))

    @property
    def pageable(self):
        # The NT loader pages sections whose names start with PAGE.
        return self.name.startswith("PAGE")

    def Holds(self, va):
        return self.va <= va < self.va + self.size


class Instruction:
    def __init__(self, address, mnemonic, operands, text):
        self.address, self.mnemonic, self.operands, self.text = address, mnemonic, operands, text

    @property
    def padding(self):
        return bool(PADDING.match(f"{self.mnemonic} {self.operands}".strip()))


class Function:
    """A code symbol and the bytes up to the next one."""

    def __init__(self, names, start, end, section):
        self.names, self.start, self.end, self.section = names, start, end, section
        self.instructions = []
        self.short = self.names[0]

    def Holds(self, va):
        return self.start <= va < self.end


class Image:
    def __init__(self, path, prefix):
        self.path, self.prefix = path, prefix
        self.name = os.path.basename(path)
        with open(path, "rb") as f:
            data = f.read()
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise Failure(f"{path}: not a PE image")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        if struct.unpack_from("<H", data, optional)[0] != 0x10B:
            raise Failure(f"{path}: not a 32-bit image")
        entry_rva = struct.unpack_from("<I", data, optional + 16)[0]
        self.base = struct.unpack_from("<I", data, optional + 28)[0]
        self.entry = self.base + entry_rva
        reloc_rva, reloc_size = struct.unpack_from("<II", data, optional + 96 + 5 * 8)
        self.sections = []
        for i in range(sections):
            at = optional + optional_size + 40 * i
            name = data[at:at + 8].rstrip(b"\0").decode()
            vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
            characteristics = struct.unpack_from("<I", data, at + 36)[0]
            raw = data[raw_at:raw_at + min(raw_size, vsize)].ljust(vsize, b"\0")
            self.sections.append(Section(name, self.base + rva, vsize, raw, characteristics))
        self.relocations = {}  # site -> the address stored there
        at = self.SectionOf(self.base + reloc_rva) if reloc_size else None
        block = 0
        while at is not None and block < reloc_size:
            header = self.base + reloc_rva + block - at.va
            page, size = struct.unpack_from("<II", at.raw, header)
            for i in range((size - 8) // 2):
                entry = struct.unpack_from("<H", at.raw, header + 8 + 2 * i)[0]
                kind, offset = entry >> 12, entry & 0xFFF
                if kind == IMAGE_REL_BASED_ABSOLUTE:
                    continue
                if kind != IMAGE_REL_BASED_HIGHLOW:
                    raise Failure(f"{path}: base relocation of type {kind}")
                site = self.base + page + offset
                self.relocations[site] = self.Dword(site)
            block += size
        self._ReadSymbols()
        self._Disassemble()

    def SectionOf(self, va):
        return next((s for s in self.sections if s.Holds(va)), None)

    def Dword(self, va):
        section = self.SectionOf(va)
        if section is None:
            raise Failure(f"{self.name}: 0x{va:x} lies in no section")
        return struct.unpack_from("<I", section.raw, va - section.va)[0]

    def Tool(self, tool, *args):
        run = subprocess.run([self.prefix + tool, *args], capture_output=True, text=True)
        if run.returncode != 0:
            raise Failure(f"{self.prefix}{tool} {' '.join(args)}: {run.stderr.strip()}")
        return run.stdout

    def _ReadSymbols(self):
        self.symbols = {}  # name -> address, every defined symbol
        by_address = {}
        section_names = {s.name for s in self.sections}
        for line in self.Tool("nm", "-n", self.path).splitlines():
            parts = line.split()
            if len(parts) != 3 or parts[1] in "Uw" or parts[2].startswith("."):
                continue
            if parts[2] in section_names:
                continue  # a section's own symbol
            address, name = int(parts[0], 16), parts[2]
            self.symbols[name] = address
            section = self.SectionOf(address)
            if section is not None and section.executable:
                by_address.setdefault(address, []).append(name)
        self.imports = {address: name[len("__imp_"):] for name, address in self.symbols.items()
                        if name.startswith("__imp_")}
        names = list(self.symbols)
        self.short = dict(zip(names, Demangle(self.prefix, names)))
        self.functions = []
        for section in (s for s in self.sections if s.executable):
            starts = sorted(a for a in by_address if section.Holds(a))
            for i, start in enumerate(starts):
                end = starts[i + 1] if i + 1 < len(starts) else section.va + section.size
                function = Function(by_address[start], start, end, section)
                function.short = self.short[function.names[0]]
                self.functions.append(function)
        self.by_start = {f.start: f for f in self.functions}

    def _Disassemble(self):
        for section in (s for s in self.sections if s.executable):
            text = self.Tool("objdump", "-D", "-z", "--no-show-raw-insn", "-M", "intel", "-j",
                             section.name, self.path)
            for line in text.splitlines():
                m = re.match(r"^\s*([0-9a-f]+):\t(.*)$", line)
                if not m:
                    continue
                address, body = int(m.group(1), 16), m.group(2).strip()
                words = body.split()
                while len(words) > 1 and words[0] in PREFIXES:
                    words.pop(0)
                mnemonic = words[0] if words else ""
                operands = " ".join(words[1:])
                function = self.FunctionAt(address)
                if function is not None:
                    function.instructions.append(Instruction(address, mnemonic, operands, body))

    def FunctionAt(self, va):
        for f in self.functions:
            if f.Holds(va):
                return f
        return None

    def Function(self, short):
        found = [f for f in self.functions if f.short == short or short in f.names]
        if len(found) != 1:
            raise Failure(f"{self.name}: {len(found)} functions named {short}")
        return found[0]


def Demangle(prefix, names):
    """Short readable names: the C++ name without its parameters."""
    # The PE world's C prefix (an underscore) goes, as does stdcall's @bytes.
    plain = [re.sub(r"@\d+$", "", name) for name in names]
    run = subprocess.run([prefix + "c++filt"], input="\n".join(plain), capture_output=True,
                         text=True)
    out = run.stdout.splitlines() if run.returncode == 0 else plain
    short = []
    for before, name in zip(plain, out):
        if name == before and name.startswith("_"):
            name = name[1:]
        name = name.replace("(anonymous namespace)::", "")
        depth, cut = 0, len(name)
        for i, c in enumerate(name):
            if c == "(" and depth == 0 and i > 0:
                cut = i
                break
            depth += c == "<"
            depth -= c == ">"
        short.append(name[:cut])
    return short


# ---------------------------------------------------------------------------
# floor

# The linker's constructor and destructor lists sit in .text: two words each,
# -1 and 0, when the image has no static constructors (and it must have none).
LINKER_LISTS = ("_CTOR_LIST__", "_DTOR_LIST__")


def CheckFloor(image):
    problems = []
    count = 0
    for function in image.functions:
        if function.short in LINKER_LISTS:
            words = (image.Dword(function.start), image.Dword(function.start + 4))
            if words != (0xFFFFFFFF, 0):
                problems.append(f"  {function.short}: static constructors or destructors "
                                f"(0x{words[0]:08x} 0x{words[1]:08x}); a miniport has none")
            continue
        for insn in function.instructions:
            count += 1
            mnemonic = insn.mnemonic
            ok = mnemonic in I486_INTEGER and not NEWER_REGISTERS.search(insn.operands)
            if mnemonic == "nop" and insn.operands:
                ok = False
            if not ok:
                where = f"{function.section.name} 0x{insn.address:x} in {function.short}"
                problems.append(f"  {where}: {insn.text}  ({Family(mnemonic, insn.operands)})")
    sections = ", ".join(s.name for s in image.sections if s.executable)
    if problems:
        found = f"{len(problems)} instruction{'s' if len(problems) > 1 else ''}"
        print(f"{image.name}: {found} outside the 80486 integer set (sections {sections}):")
        print("\n".join(problems))
        return False
    print(f"{image.name}: {count} instructions in {sections}, every one of the 80486 integer set")
    return True


# ---------------------------------------------------------------------------
# The call graph, for stack and resident.

PADDING = re.compile(r"^(nop|xchg ax,ax|int3|lea (\w+),(cs:)?\[\2(\+eiz\*1)?\+0x0\]|mov (\w+),\5)$")


class Edge:
    def __init__(self, kind, target, at, via=None):
        self.kind, self.target, self.at = kind, target, at  # target: Function or import name
        self.via = via  # the video port service a callback comes through


class Graph:
    """Who calls, jumps to or names whom, from the image alone."""

    def __init__(self, image, tables, callbacks, codes):
        self.image, self.codes = image, codes
        self.edges = {f.start: [] for f in image.functions}
        self.table_rows = {}  # dispatcher start -> [(code, handler)]
        self.errors = []
        self.thunks = {}  # thunk start -> import name
        dispatchers = {}
        for described in tables:
            function, table, row, slot = described.split(":")
            rows = self._ReadTable(table, int(row), int(slot))
            dispatchers[image.Function(function).start] = rows
            self.table_rows[image.Function(function).start] = rows
        for function in image.functions:
            self._Scan(function, dispatchers.get(function.start))
        # A service that calls back runs the routines its caller hands it, on
        # the caller's stack: those the caller's own code names.
        for function in image.functions:
            for edge in list(self.edges[function.start]):
                service = self.thunks.get(getattr(edge.target, "start", None))
                if edge.kind != "call" or service not in callbacks:
                    continue
                taken = self.TakenBy(function)
                if not taken:
                    self.errors.append(f"{function.short} calls {service}, which calls back, but "
                                       f"names no routine of its own")
                self.edges[function.start] += [Edge("callback", t, edge.at, service) for t in taken]

    def _ReadTable(self, table, row, slot):
        image = self.image
        names = [n for n in image.symbols if table in (n, image.short[n])]
        if len(names) != 1:
            raise Failure(f"{image.name}: no single table {table}")
        start = image.symbols[names[0]]
        later = [a for a in image.symbols.values() if a > start]
        end = min(later) if later else start
        rows = []
        at = start
        while at + row <= end and at + slot in image.relocations:
            target = image.by_start.get(image.relocations[at + slot])
            if target is None:
                raise Failure(f"{image.name}: row {len(rows)} of {table} names no function")
            if image.Dword(at) not in self.codes:
                raise Failure(f"{image.name}: row {len(rows)} of {table} starts with "
                              f"0x{image.Dword(at):x}, no control code of the header: "
                              f"is the row {row} bytes?")
            rows.append((image.Dword(at), target))
            at += row
        if not rows:
            raise Failure(f"{image.name}: {table} has no rows")
        return rows

    def TakenBy(self, function):
        """The functions whose addresses a function's own code holds."""
        return [self.image.by_start[t] for s, t in self.image.relocations.items()
                if function.Holds(s) and t in self.image.by_start]

    def _Scan(self, function, table):
        image, edges = self.image, self.edges[function.start]
        last = None
        for insn in function.instructions:
            m = insn.mnemonic
            target = re.match(r"^([0-9a-f]+)( <.*>)?$", insn.operands)
            slot = re.match(r"^DWORD PTR ds:0x([0-9a-f]+)$", insn.operands)
            if m in ("call", "jmp") and slot and int(slot.group(1), 16) in image.imports:
                name = re.sub(r"^_|@\d+$", "", image.imports[int(slot.group(1), 16)])
                if m == "jmp" and sum(not i.padding for i in function.instructions) == 1:
                    self.thunks[function.start] = name
                edges.append(Edge("import", name, insn.address))
            elif (m == "call" or m.startswith("j") or m.startswith("loop")) and target:
                address = int(target.group(1), 16)
                # A call is a call even to itself; a jump inside is a branch.
                if m == "call" or not function.Holds(address):
                    callee = image.by_start.get(address)
                    if callee is None:
                        self.errors.append(f"{function.short} 0x{insn.address:x}: {insn.text} "
                                           f"enters no function at its start")
                    else:
                        edges.append(Edge("call" if m == "call" else "jump", callee, insn.address))
            elif m == "call":
                if table is None:
                    self.errors.append(f"{function.short} 0x{insn.address:x}: indirect "
                                       f"{insn.text}; name the table its routines come from")
                else:
                    edges += [Edge("table", handler, insn.address) for _, handler in table]
            elif m == "jmp":
                self.errors.append(f"{function.short} 0x{insn.address:x}: indirect {insn.text}")
            if not insn.padding:
                last = insn
        # Code that runs off its end runs into the next symbol's.
        if last is not None and last.mnemonic not in ("ret", "jmp", "iret", "iretd", "retf"):
            following = image.by_start.get(function.end)
            if following is not None:
                edges.append(Edge("falls into", following, last.address))


# ---------------------------------------------------------------------------
# stack

def ReadFrames(directory, image):
    """Frame bytes by image symbol, from the compiler's -fcallgraph-info=su output."""
    frames = {}
    node = re.compile(r'node: \{ title: "([^"]*)" label: "([^"]*)"')
    for path in glob.glob(os.path.join(directory, "**", "*.ci"), recursive=True):
        with open(path) as f:
            for m in node.finditer(f.read()):
                usage = re.search(r"\\n(\d+) bytes \(([^)]*)\)", m.group(2))
                if usage is None:
                    continue  # a callee declared elsewhere
                name = "_" + m.group(1).rsplit(":", 1)[-1]
                if usage.group(2) not in ("static", "dynamic,bounded"):
                    raise Failure(f"{name}: stack use {usage.group(2)} ({path})")
                frames[name] = max(frames.get(name, 0), int(usage.group(1)))
    return frames


# The return address a call into the video port pushes; the service's own
# frames are the port's.
SERVICE_CALL_BYTES = 4


class StackWalk:
    def __init__(self, image, graph, frames, recursion):
        self.image, self.graph, self.frames = image, graph, frames
        self.recursion = recursion  # function start -> times it may stand on one chain
        self.memo = {}

    def Frame(self, function):
        if function.start in self.graph.thunks:
            return SERVICE_CALL_BYTES
        for name in function.names:
            if name in self.frames:
                return self.frames[name]
        raise Failure(f"{function.short}: no frame size from the compiler (assembly?)")

    def Deepest(self, function, path=(), only=None):
        """(bytes, chain) of the deepest call chain from function."""
        if path.count(function.start) >= self.recursion.get(function.start, 1):
            if function.start in self.recursion:
                return None  # deeper than the code can recurse
            cycle = [self.image.by_start[a].short for a in path[path.index(function.start):]]
            raise Failure("recursion with no stated bound: " + " > ".join(cycle + [function.short]))
        key = (function.start, tuple(sorted(a for a in path if a in self.recursion)), only)
        if key in self.memo:
            return self.memo[key]
        path = path + (function.start,)
        best = (0, [])
        for edge in self.graph.edges[function.start]:
            if edge.kind == "import":
                continue
            if only is not None and edge.kind == "table" and edge.target is not only:
                continue
            below = self.Deepest(edge.target, path)
            if below is not None and edge.via is not None:
                below = (SERVICE_CALL_BYTES + below[0], [(edge.via, SERVICE_CALL_BYTES)] + below[1])
            if below is not None and below[0] > best[0]:
                best = below
        frame = self.Frame(function)
        result = (frame + best[0], [(function.short, frame)] + best[1])
        self.memo[key] = result
        return result


def Chain(chain):
    return " > ".join(f"{name} {frame}" for name, frame in chain)


def CheckStack(image, graph, args):
    frames = ReadFrames(args.frames, image)
    recursion = {}
    for bound in args.recursion:
        name, times = bound.split("=")
        recursion[image.Function(name).start] = int(times)
    walk = StackWalk(image, graph, frames, recursion)
    block = BlockFunctions(image, args.block)

    # Entry points: the image's entry, and every routine whose address the
    # image holds (handed to the video port, or in a table the driver reads).
    taken = {t for t in image.relocations.values() if t in image.by_start}
    handlers = {h.start for rows in graph.table_rows.values() for _, h in rows}
    roots = [image.FunctionAt(image.entry)]
    roots += [image.by_start[a] for a in sorted(taken)
              if a not in block and a not in handlers and a != image.entry]
    lines = []
    for root in roots:
        label = "driver entry" if root.start == image.entry else root.short
        lines.append((label, *walk.Deepest(root)))
    for dispatcher, rows in graph.table_rows.items():
        function = image.by_start[dispatcher]
        for code, handler in rows:
            label = f"{function.short}, {graph.codes[code]}"
            lines.append((label, *walk.Deepest(function, only=handler)))

    print(f"{image.name}: deepest stack use of each entry point, bytes (budget {args.budget}); "
          f"a call into the video port counts its return address, the port's own frames are "
          f"not the miniport's")
    width = max(len(label) for label, _, _ in lines)
    over = []
    for label, total, chain in lines:
        print(f"  {label:<{width}}  {total:5}  {Chain(chain)}")
        if total > args.budget:
            over.append(label)
    if over:
        print(f"FAILED: over {args.budget} bytes: " + ", ".join(over))
        return False
    return True


# ---------------------------------------------------------------------------
# resident

def BlockFunctions(image, blocks):
    """Starts of the functions inside the code blocks given as FIRST:END symbols."""
    inside = set()
    for block in blocks:
        first, end = (image.Function(name) for name in block.split(":"))
        inside |= {f.start for f in image.functions if first.start <= f.start <= end.start}
    return inside


def CheckResident(image, graph, args):
    roots = [image.Function(name) for name in args.root]
    roots += [image.by_start[a] for a in sorted(BlockFunctions(image, args.block))]
    reached = {}  # start -> the chain that reaches it
    todo = [(r, [r.short]) for r in roots]
    while todo:
        function, chain = todo.pop()
        if function.start in reached:
            continue
        reached[function.start] = chain
        targets = [e.target for e in graph.edges[function.start] if e.kind != "import"]
        # Addresses its code holds: a routine named is a routine that may run.
        targets += graph.TakenBy(function)
        todo += [(t, chain + [t.short]) for t in targets if t.start not in reached]

    wrong = [(image.by_start[a], chain) for a, chain in reached.items()
             if image.by_start[a].section.pageable]
    resident = sorted(image.by_start[a].short for a in reached)
    pageable = sorted(f.short for f in image.functions if f.section.pageable)
    print(f"{image.name}: reached from {', '.join(r.short for r in roots)}: "
          f"{len(resident)} routines, all to be resident: {', '.join(resident)}")
    paged_sections = sorted({f.section.name for f in image.functions if f.section.pageable})
    print(f"  pageable ({', '.join(paged_sections)}): {len(pageable)} routines: "
          f"{', '.join(pageable)}")
    spare = sorted(f.short for f in image.functions if not f.section.pageable
                   and f.start not in reached and f.short not in LINKER_LISTS)
    if spare:
        print(f"  resident but not reached from these: {', '.join(spare)}")
    if wrong:
        for function, chain in wrong:
            print(f"FAILED: {function.short} is in pageable {function.section.name} but runs from "
                  f"resident code: {' > '.join(chain)}")
        return False
    return True


def IoctlNames(header):
    names = {}
    with open(header) as f:
        for m in re.finditer(r"#define (IOCTL_\w+) (0x[0-9A-Fa-f]+)UL", f.read()):
            names[int(m.group(2), 16)] = m.group(1)
    return names


# ---------------------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("check", choices=["floor", "stack", "resident"])
    parser.add_argument("image")
    parser.add_argument("--prefix", default="i686-w64-mingw32-", help="binutils prefix")
    parser.add_argument("--frames", help="directory of the compiler's .ci files (stack)")
    parser.add_argument("--budget", type=int, default=2048, help="stack bytes per entry point")
    parser.add_argument("--header", help="the interface header, for the control codes' names")
    parser.add_argument("--table", action="append", default=[],
                        help="FUNCTION:TABLE:ROW_BYTES:SLOT_OFFSET: the indirect calls of FUNCTION "
                             "reach the routines in that column of TABLE")
    parser.add_argument("--callback", action="append", default=[],
                        help="a video port service that calls back the routines its caller names")
    parser.add_argument("--recursion", action="append", default=[],
                        help="FUNCTION=N: FUNCTION stands at most N times on one call chain")
    parser.add_argument("--root", action="append", default=[], help="resident routine (resident)")
    parser.add_argument("--block", action="append", default=[],
                        help="FIRST:END code block copied out to another driver")
    parser.add_argument("--expect", action="append", default=[],
                        help="the check must fail with this text in its report (the checks' own "
                             "tests, on an image that breaks the rules)")
    args = parser.parse_args()
    report = io.StringIO()
    with contextlib.redirect_stdout(report):
        ok = Check(args)
    print(report.getvalue(), end="")
    if not args.expect:
        return 0 if ok else 1
    missing = [text for text in args.expect if text not in report.getvalue()]
    for text in missing:
        print(f"expected in the report: {text}")
    if ok:
        print("expected the check to fail")
    return 0 if not ok and not missing else 1


def Check(args):
    try:
        image = Image(args.image, args.prefix)
        if args.check == "floor":
            return CheckFloor(image)
        codes = IoctlNames(args.header) if args.header else {}
        graph = Graph(image, args.table, set(args.callback), codes)
        if graph.errors:
            print(f"{image.name}: control flow the check cannot follow:")
            print("\n".join("  " + e for e in graph.errors))
            return False
        if args.check == "stack":
            return CheckStack(image, graph, args)
        return CheckResident(image, graph, args)
    except Failure as e:
        print(f"FAILED: {e}")
        return False


if __name__ == "__main__":
    sys.exit(main())
