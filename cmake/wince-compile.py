#!/usr/bin/env python3
"""Compiles for the device: GCC for ARM writes the code, the CE assembler the object.

GCC for ARM writes assembly for ELF; the device's programs are PE files, which the linker builds
only from COFF objects. The device build runs every compile through this launcher:

    wince-compile.py ASSEMBLER COMPILER ARGUMENTS...

With -c among the arguments it compiles to assembly, rewrites what is ELF's own into its COFF
form, and assembles that with ASSEMBLER (arm-mingw32ce-as) into the object that -o names. Any
other call goes to the compiler as it is.

ELF's comdat groups (one copy kept of each inline function and template) become COFF's
link-once sections. A construct with no COFF form here (a static constructor, thread-local
data) stops the build, naming the line, rather than being dropped.
"""
import os
import subprocess
import sys

# Directives that only describe ELF symbols and sections, or ARM's ELF unwinding tables; the
# COFF objects need none of them (the device build has no exceptions and no unwind tables).
DROPPED = {
    ".eabi_attribute", ".fpu", ".file", ".ident", ".type", ".size", ".hidden", ".internal",
    ".protected", ".fnstart", ".fnend", ".cantunwind", ".personality", ".personalityindex",
    ".handlerdata", ".save", ".pad", ".setfp", ".movsp", ".vsave", ".unwind_raw",
}

# ELF section name prefixes and the COFF section each one becomes, with its flags.
SECTIONS = [
    (".text", ".text", "xr"),
    (".rodata", ".rdata", "dr"),
    (".data.rel.ro", ".rdata", "dr"),
    (".data", ".data", "dw"),
    (".bss", ".bss", "bw"),
]


class Unsupported(Exception):
    pass


def split_operands(text):
    """Splits a directive's operands at commas outside quotes."""
    parts, current, quoted = [], "", False
    for c in text:
        if c == '"':
            quoted = not quoted
        if c == "," and not quoted:
            parts.append(current.strip())
            current = ""
        else:
            current += c
    parts.append(current.strip())
    return parts


def coff_section(operands):
    """The COFF directives for an ELF .section line's operands."""
    name = operands[0]
    if name.startswith(".note.GNU-stack"):
        return None
    if name == ".drectve":
        # Directives to the linker (exports), which COFF has and ELF lacks.
        return ["\t.section\t.drectve"]
    flags = operands[1].strip('"') if len(operands) > 1 else ""
    group = None
    if "G" in flags:
        # name, "flags", %type[, entsize], group, comdat
        if operands[-1] != "comdat":
            raise Unsupported("a section group that is not a comdat")
        group = operands[-2]
    for prefix, coff, coff_flags in SECTIONS:
        if name == prefix or name.startswith(prefix + "."):
            if group is None:
                # A function's or an object's own section (.text.name) stays a section of its
                # own (.text$name), which the linker drops when nothing reaches it.
                suffix = "$" + name[len(prefix) + 1:] if name != prefix else ""
                return ['\t.section\t%s%s,"%s"' % (coff, suffix, coff_flags)]
            # One link-once section per group and kind: the linker keeps the first of each.
            return ['\t.section\t%s$%s,"%s"' % (coff, group, coff_flags), "\t.linkonce\tdiscard"]
    raise Unsupported("section %s" % name)


def comdat_groups(lines):
    """The names of the file's comdat groups: each names the symbol its sections define."""
    groups = set()
    for line in lines:
        stripped = line.strip()
        if stripped.startswith(".section") and stripped.endswith(",comdat"):
            groups.add(split_operands(stripped[len(".section"):])[-2])
    return groups


def rewrite(lines):
    out = []
    linkonce_symbols = comdat_groups(lines)
    # The COFF assembler has no section stack: .pushsection and .popsection become plain section
    # changes, back to where the code was (its link-once marking given once already).
    current, stack = ["\t.text"], []
    for number, line in enumerate(lines, 1):
        stripped = line.strip()
        try:
            if not stripped.startswith("."):
                out.append(line)
                continue
            directive, _, rest = stripped.partition("\t" if "\t" in stripped else " ")
            directive = directive.strip()
            rest = rest.strip()
            if directive in DROPPED:
                continue
            if directive in (".section", ".pushsection"):
                directives = coff_section(split_operands(rest))
                if directive == ".pushsection":
                    stack.append(current)
                if directives is not None:
                    out.extend(directives)
                    current = [d for d in directives if ".linkonce" not in d]
            elif directive == ".popsection":
                if not stack:
                    raise Unsupported("a .popsection without its .pushsection")
                current = stack.pop()
                out.extend(current)
            elif directive in (".text", ".data", ".bss"):
                current = [line]
                out.append(line)
            elif directive == ".weak":
                # An inline function's definition is weak in ELF; in COFF its link-once
                # section already keeps one copy, and a weak symbol would be an alias instead.
                if rest not in linkonce_symbols:
                    raise Unsupported("a weak symbol outside a comdat")
                out.append("\t.global\t%s" % rest)
            elif directive.startswith(".inst"):
                # An instruction given by its encoding: the assembler could not check it.
                raise Unsupported(directive)
            else:
                out.append(line)
        except Unsupported as problem:
            raise SystemExit("wince-compile.py: no COFF form for %s (line %d: %s)"
                             % (problem, number, stripped))
    return out


def main(argv):
    assembler, compiler, args = argv[1], argv[2], argv[3:]
    if "-c" not in args:
        os.execvp(compiler, [compiler] + args)
    output = args[args.index("-o") + 1]
    compile_args = [a for a in args if a != "-c"]
    compile_args[compile_args.index("-o") + 1] = "-"
    assembly = subprocess.run([compiler, "-S"] + compile_args, stdout=subprocess.PIPE,
                              text=True)
    if assembly.returncode != 0:
        return assembly.returncode
    coff = rewrite(assembly.stdout.splitlines())
    # The assembler checks that nothing the oldest processor lacks slipped through.
    assembled = subprocess.run([assembler, "-march=armv4", "-o", output],
                               input="\n".join(coff) + "\n", text=True)
    return assembled.returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv))
