#!/usr/bin/env python3
"""Checks the driver's platform header against the NT headers mingw-w64 ships.

miniport/videoport.h is the driver's own statement of the video port's
interface (the simulator on Linux needs it). This ties it to the platform's
headers, compiled together by the image compiler: every record's size and
alignment and every field's offset and size, every control code, status and
flag, every enumerator, the size of every type, and the argument bytes a
stdcall routine pops (its calling convention) for every service, entry point
and validator. The header is read for what it declares; a C++ file is made
that includes it inside a namespace of its own (its macros captured, then
undefined, its services renamed) beside the platform's headers, with one
static assertion per fact, and compiled; the routines' decorated names are
then read from the object. A difference names the record and field.

  python3 image/check_interface.py --source-dir . --work-dir build/default/image/interface
"""

import argparse
import os
import re
import subprocess
import sys

# The platform's headers, in the order a miniport includes them.
PLATFORM_HEADERS = ["ntdef.h", "devioctl.h", "ddk/dderror.h", "ddk/miniport.h", "ddk/video.h",
                    "ntddvdeo.h"]

# Records the platform declares longer than NT 3.51 and 4.0 did: later NT
# versions appended fields. The first appended field, and what our record
# must hold: "size" where our record's size is what counts (the
# HwInitDataSize the driver gives; the offset where the driver's own blocks
# follow the state header), "fields" where only the fields count (the video
# port allocates the record; the driver fills what it knows).
APPENDED = {
    "VIDEO_HW_INITIALIZATION_DATA": ("HwStartDma", "size"),
    "VIDEO_HARDWARE_STATE_HEADER": ("VesaInfoOffset", "size"),
    "VIDEO_PORT_CONFIG_INFO": ("Master", "fields"),
}

# Routine types ours names otherwise than the platform does.
ROUTINE_TYPES = {
    "PVIDEO_EMULATOR_ROUTINE": ["PDRIVER_IO_PORT_UCHAR", "PDRIVER_IO_PORT_USHORT",
                                "PDRIVER_IO_PORT_ULONG"],
    "PDRIVER_ENTRY": ["decltype(&::DriverEntry)"],
}

# Macros of the header that are syntax, not values.
SYNTAX_MACROS = {"VPAPI", "NT_ALIGN8"}


class Failure(Exception):
    pass


# ---------------------------------------------------------------------------
# Reading the header

class Header:
    def __init__(self, path):
        self.path = path
        with open(path) as f:
            text = f.read()
        text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
        text = re.sub(r"//[^\n]*", "", text)
        self.codes, self.syntax = [], []
        body = []
        for line in text.splitlines():
            if line.strip().startswith("#"):
                m = re.match(r"\s*#\s*define\s+(\w+)\s*(.*)$", line)
                if m:
                    name, value = m.group(1), m.group(2).strip()
                    if name in SYNTAX_MACROS:
                        self.syntax.append(name)
                    elif re.fullmatch(r"-?(0[xX][0-9A-Fa-f]+|\d+)[uUlL]*", value):
                        self.codes.append(name)
                    else:
                        raise Failure(f"{path}: #define {name} {value}: neither a value nor "
                                      f"known syntax")
                continue
            body.append(line)
        self.tokens = re.findall(r'"[^"]*"|\w+|\S', "\n".join(body))
        self.records, self.enums, self.types = [], [], []
        self.routine_types, self.functions = [], []
        self._Parse()

    def _Statement(self, at):
        """Tokens up to the next ';' outside braces."""
        depth, start = 0, at
        while at < len(self.tokens):
            t = self.tokens[at]
            depth += t == "{"
            depth -= t == "}"
            if t == ";" and depth == 0:
                return self.tokens[start:at], at + 1
            at += 1
        raise Failure(f"{self.path}: unterminated: {' '.join(self.tokens[start:start + 8])}")

    def _Parse(self):
        at = 0
        while at < len(self.tokens):
            t = self.tokens[at]
            if t == "extern" and self.tokens[at + 1] == '"C"' and self.tokens[at + 2] == "{":
                at += 3
                while self.tokens[at] != "}":
                    statement, at = self._Statement(at)
                    self._Function(statement)
                at += 1
                continue
            statement, at = self._Statement(at)
            if statement[0] == "static_assert":
                continue
            if statement[0] != "typedef":
                raise Failure(f"{self.path}: cannot read: {' '.join(statement)}")
            self._Typedef(statement[1:])

    def _Function(self, tokens):
        if "(" not in tokens:
            raise Failure(f"{self.path}: not a function: {' '.join(tokens)}")
        self.functions.append(tokens[tokens.index("(") - 1])

    def _Typedef(self, tokens):
        if tokens[0] in ("struct", "union") and "{" in tokens:
            close = Matching(tokens, tokens.index("{"))
            names = [t for t in tokens[close + 1:] if re.fullmatch(r"\w+", t)]
            record = Record(names[0])
            self._Members(tokens[tokens.index("{") + 1:close], "", record, top=True)
            self.records.append(record)
        elif tokens[0] == "enum":
            close = Matching(tokens, tokens.index("{"))
            inner = " ".join(tokens[tokens.index("{") + 1:close])
            names = [e.split("=")[0].strip() for e in inner.split(",") if e.strip()]
            self.enums.append((tokens[close + 1], names))
        elif "(" in tokens and "*" in tokens[tokens.index("("):tokens.index(")")]:
            self.routine_types.append(tokens[tokens.index(")") - 1])
        elif "(" not in tokens and "{" not in tokens:
            self.types.append((tokens[-1], "*" in tokens, tokens[:-1] == ["void"]))
        else:
            raise Failure(f"{self.path}: cannot read: typedef {' '.join(tokens)}")

    def _Members(self, tokens, prefix, record, top):
        at = 0
        while at < len(tokens):
            depth, start = 0, at
            while tokens[at] != ";" or depth:
                depth += tokens[at] == "{"
                depth -= tokens[at] == "}"
                at += 1
            member, at = tokens[start:at], at + 1
            member = [t for t in member if t != "NT_ALIGN8"]
            if member[0] in ("struct", "union") and member[1] == "{":
                close = Matching(member, 1)
                after = member[close + 1:]
                if not after:  # anonymous: its members are the record's
                    self._Members(member[2:close], prefix, record, top=False)
                    continue
                name = after[0]
                record.Add(prefix + name, top)
                inner = prefix + name + ("[0]." if "[" in after else ".")
                self._Members(member[2:close], inner, record, top=False)
            elif re.fullmatch(r"\w+", member[-1]) or member[-1] == "]":
                name = member[member.index("[") - 1] if "[" in member else member[-1]
                record.Add(prefix + name, top)
            else:
                raise Failure(f"{self.path}: {record.name}: cannot read member {' '.join(member)}")


class Record:
    def __init__(self, name):
        self.name, self.fields, self.last = name, [], None

    def Add(self, field, top):
        self.fields.append(field)
        if top:
            self.last = field


def Matching(tokens, at):
    depth = 0
    for i in range(at, len(tokens)):
        depth += tokens[i] == "{"
        depth -= tokens[i] == "}"
        if depth == 0:
            return i
    raise Failure("unbalanced braces")


# ---------------------------------------------------------------------------
# The checking file

def Generate(header, include):
    out = [f"// Made by image/check_interface.py from {include}; each assertion is one fact.",
           "#include <cstddef>", "#include <cstdint>", "#include <type_traits>", ""]
    out.append("// Ours, in a namespace of its own; its services renamed so that their C")
    out.append("// names do not meet the platform's.")
    out += [f"#define {f} zel_{f}" for f in header.functions]
    out += ["namespace zel {", f'#include "{include}"', "}  // namespace zel"]
    out += [f"#undef {f}" for f in header.functions]
    out += [f"constexpr long long zel_code_{c} = ({c});" for c in header.codes]
    out += [f"#undef {m}" for m in header.codes + header.syntax]
    out += [""] + [f"#include <{h}>" for h in PLATFORM_HEADERS] + [""]
    prologue = list(out)
    out += ["#define FIELD_SIZE(T, f) sizeof(((T*)nullptr)->f)"]

    def Same(what, ours, platform):
        out.append(f'static_assert(({ours}) == ({platform}), "{what}");')

    for r in header.records:
        z, p = f"zel::{r.name}", f"::{r.name}"
        if r.name in APPENDED:
            first, holds = APPENDED[r.name]
            if holds == "size":
                Same(f"{r.name}: size, where the platform's appended {first} begins",
                     f"sizeof({z})", f"offsetof({p}, {first})")
            else:
                end = f"offsetof({z}, {r.last}) + FIELD_SIZE({z}, {r.last})"
                out.append(f"static_assert({end} <= offsetof({p}, {first}), \"{r.name}: "
                           f"{r.last} ends after the platform's appended {first} begins\");")
        else:
            Same(f"{r.name}: size", f"sizeof({z})", f"sizeof({p})")
        Same(f"{r.name}: alignment", f"alignof({z})", f"alignof({p})")
        for f in r.fields:
            Same(f"{r.name}.{f}: offset", f"offsetof({z}, {f})", f"offsetof({p}, {f})")
            Same(f"{r.name}.{f}: size", f"FIELD_SIZE({z}, {f})", f"FIELD_SIZE({p}, {f})")
    for name, enumerators in header.enums:
        Same(f"{name}: size", f"sizeof(zel::{name})", f"sizeof(::{name})")
        for e in enumerators:
            Same(f"{name}::{e}: value", f"static_cast<long long>(zel::{e})",
                 f"static_cast<long long>(::{e})")
    for name, pointer, void in header.types:
        if void:
            continue
        Same(f"{name}: size", f"sizeof(zel::{name})", f"sizeof(::{name})")
        if not pointer:
            Same(f"{name}: signedness", f"std::is_signed_v<zel::{name}>",
                 f"std::is_signed_v<::{name}>")
    for c in header.codes:
        Same(f"{c}: value", f"zel_code_{c}", f"static_cast<long long>({c})")

    # Routines, referenced so that their stdcall names (with the argument
    # bytes) land in the object: a file of their own, so that they are read
    # whatever the facts above say.
    facts, out = out, prologue
    pairs, used = [], []
    out.append('extern "C" {')
    for t in header.routine_types:
        out.append(f"std::remove_pointer_t<zel::{t}> zel_routine_{t};")
        for i, platform in enumerate(ROUTINE_TYPES.get(t, [f"::{t}"])):
            out.append(f"std::remove_pointer_t<{platform}> platform_routine_{t}_{i};")
            pairs.append((f"{t} ({platform.lstrip(':')})", f"zel_routine_{t}",
                          f"platform_routine_{t}_{i}"))
            used.append(f"platform_routine_{t}_{i}")
        used.append(f"zel_routine_{t}")
    out.append('}  // extern "C"')
    for f in header.functions:
        pairs.append((f, f"zel_{f}", f))
        used += [f"zel::zel_{f}", f"::{f}"]
    out.append("void* const kRoutines[] = {")
    out += [f"    reinterpret_cast<void*>(&{u})," for u in used]
    out.append("};")
    return "\n".join(facts) + "\n", "\n".join(out) + "\n", pairs


def Explain(stderr):
    """The compiler's failures as one line each: the fact and both values."""
    lines, pending = [], None
    for line in stderr.splitlines():
        failed = re.search(r"static assertion failed: (.*)$", line)
        reduced = re.search(r"the comparison reduces to '\((.*) == (.*)\)'", line)
        if failed:
            if pending:
                lines.append(pending)
            pending = failed.group(1)
        elif reduced and pending:
            ours, theirs = (Number(v) for v in reduced.groups())
            lines.append(f"{pending}: ours {ours}, the platform's {theirs}")
            pending = None
        elif " error: " in line:
            if pending:
                lines.append(pending)
                pending = None
            lines.append(line.split(" error: ", 1)[1])
    if pending:
        lines.append(pending)
    return lines


def Number(value):
    """Control codes read best in hexadecimal."""
    value = re.sub(r"[uUlL]+$", "", value)
    return f"0x{int(value):x}" if value.isdigit() and int(value) > 0xFFFF else value


def StackBytes(symbols, name):
    for s in symbols:
        bare = re.sub(r"^(__imp_)?_", "", s)
        if bare == name or bare.startswith(name + "@"):
            return int(bare.split("@")[1]) if "@" in bare else None
    raise Failure(f"{name} not referenced in the object")


def Compile(compiler, args, name, source):
    cpp = os.path.join(args.work_dir, name + ".cpp")
    with open(cpp, "w") as f:
        f.write(source)
    # LC_ALL=C: plain quotes in the compiler's notes.
    command = [compiler, "-std=c++20", "-fmax-errors=0", "-I", args.source_dir, "-c", cpp, "-o",
               cpp[:-4] + ".o"]
    run = subprocess.run(command, capture_output=True, text=True, env=dict(os.environ, LC_ALL="C"))
    return run, cpp


def Convention(argument_bytes):
    return "not stdcall" if argument_bytes is None else f"stdcall, {argument_bytes} argument bytes"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--header", default="miniport/videoport.h")
    parser.add_argument("--prefix", default="i686-w64-mingw32-", help="the image compiler's prefix")
    args = parser.parse_args()
    try:
        header = Header(os.path.join(args.source_dir, args.header))
        facts, routines, pairs = Generate(header, args.header)
        os.makedirs(args.work_dir, exist_ok=True)
        compiler = args.prefix + "g++"
        differ = False
        facts_run, facts_cpp = Compile(compiler, args, "interface_facts", facts)
        if facts_run.returncode != 0:
            print(f"{args.header} differs from the platform's headers ({compiler}, {facts_cpp}):")
            print("\n".join("  " + line for line in Explain(facts_run.stderr)))
            differ = True
        routines_run, routines_cpp = Compile(compiler, args, "interface_routines", routines)
        if routines_run.returncode != 0:
            print(f"{routines_cpp} does not compile:")
            print("\n".join("  " + line for line in Explain(routines_run.stderr)))
            return 1
        nm = subprocess.run([args.prefix + "nm", "-u", routines_cpp[:-4] + ".o"],
                            capture_output=True, text=True, check=True)
        symbols = [line.split()[-1] for line in nm.stdout.splitlines() if line.strip()]
        wrong = []
        for what, ours, platform in pairs:
            mine, theirs = StackBytes(symbols, ours), StackBytes(symbols, platform)
            if mine is None or mine != theirs:
                wrong.append(f"{what}: ours {Convention(mine)}, "
                             f"the platform's {Convention(theirs)}")
        if wrong:
            print(f"{args.header}: routines that differ from the platform's:")
            print("\n".join("  " + w for w in wrong))
            differ = True
        if differ:
            return 1
        fields = sum(len(r.fields) for r in header.records)
        enumerators = sum(len(e) for _, e in header.enums)
        print(f"{args.header} against mingw-w64's {', '.join(PLATFORM_HEADERS)} ({compiler}):")
        print(f"  {len(header.records)} records, {fields} fields: sizes, alignments, offsets "
              f"as the platform's; longer there (fields later NT versions appended): "
              + ", ".join(f"{r} from {f}" for r, (f, _) in APPENDED.items()))
        print(f"  {len(header.codes)} control codes, statuses and flags, {len(header.enums)} "
              f"enumerations ({enumerators} values), {len(header.types)} types: the same")
        print(f"  {len(header.functions)} routines and {len(header.routine_types)} routine types "
              f"({len(pairs)} comparisons): stdcall with the platform's argument bytes")
        return 0
    except Failure as e:
        print(f"FAILED: {e}")
        return 1


if __name__ == "__main__":
    sys.exit(main())
