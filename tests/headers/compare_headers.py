#!/usr/bin/env python3
"""Holds the device's headers to an independent declaration: mingw-w64's for 32-bit Windows.

    compare_headers.py COMPILER INCLUDE TABLE

COMPILER is mingw-w64's g++ for 32-bit Windows, INCLUDE the device's headers (platform/include),
TABLE what CE declares differently or alone (ce_own.md, beside this script).

Every constant the device's headers define, every type name, the size of every structure and the
offset and type of each of its fields, and the argument and result types of every function are
compared with mingw-w64's at compile time: one file is written that includes both, the device's
inside a namespace, and compiled; each difference is a failed static_assert naming it. A name the
table lists is held to the table's values instead (CE's and, where the SDK has it, the SDK's), and
a row that names nothing the headers declare is an error too.
"""
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

# The headers are compiled as the device build sees them (every one), and as a resource script
# does (windows.h alone, for its constants).
VIEWS = [
    ("device", ["_WIN32_WCE=0x300"], None),
    ("resource script", ["RC_INVOKED"], ["windows.h"]),
]

# Function-like macros, compared on these arguments.
PROBES = {
    "RGB": ["0x12, 0x34, 0x56", "255, 0, 128"],
    "GetRValue": ["0x00563412"],
    "GetGValue": ["0x00563412"],
    "GetBValue": ["0x00563412"],
    "LOWORD": ["0x12345678", "0xFFFFFFFFu"],
    "HIWORD": ["0x12345678", "0xFFFFFFFFu"],
}

ABSENT = "—"


class Failure(Exception):
    pass


def run(command, source=None):
    result = subprocess.run(command, input=source, capture_output=True, text=True)
    if result.returncode != 0:
        raise Failure(result.stderr)
    return result.stdout


def read_table(path):
    """The table's rows: name -> (CE's cell, the SDK's cell)."""
    rows = {}
    for line in open(path, encoding="utf-8"):
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if not line.startswith("| `") or len(cells) != 4:
            continue
        name = cells[0].strip("`").replace("struct ", "").rstrip("()")
        rows[name] = (cells[1], cells[2])
    return rows


def layout_cell(cell):
    """"size 560; dwOID 36" -> {"size": 560, "dwOID": 36}."""
    items = {}
    for item in cell.split(";"):
        key, value = item.split()
        items[key] = int(value, 0)
    return items


def our_macro_names(include):
    names = set()
    for header in os.listdir(include):
        for line in open(os.path.join(include, header), encoding="utf-8"):
            match = re.match(r"\s*#\s*define\s+(\w+)", line)
            if match:
                names.add(match.group(1))
    return names


def macros(compiler, defines, header_text):
    """The macros a text defines: name -> (parameters or None, body)."""
    out = run([compiler, "-std=c++17", "-x", "c++", "-E", "-dM"] + ["-D" + d for d in defines] +
              ["-"], header_text)
    found = {}
    for line in out.splitlines():
        match = re.match(r"#define (\w+)(\([^)]*\))? ?(.*)", line)
        found[match.group(1)] = (match.group(2), match.group(3).strip())
    return found


def including(include, headers):
    """A text that includes the headers of the view, by their paths."""
    return "".join('#include "%s/%s"\n' % (include, h) for h in headers)


def our_text(compiler, include, defines, headers):
    """The device's headers' own declarations, preprocessed, without the C++ library's."""
    out = run([compiler, "-std=c++17", "-x", "c++", "-E"] + ["-D" + d for d in defines] + ["-"],
              including(include, headers))
    kept, keep = [], False
    for line in out.splitlines():
        marker = re.match(r'# \d+ "(.*)"', line)
        if marker:
            keep = os.path.dirname(os.path.abspath(marker.group(1))) == include
        elif keep and not line.startswith("#"):
            kept.append(line)
    return "\n".join(kept)


def statements(text):
    """Top-level declarations: a struct's body and an inline function's stay with theirs."""
    text = re.sub(r'extern\s+"C"\s*\{', "", text)
    depth, current = 0, ""
    for c in text:
        if c == "}" and depth == 0:
            continue  # the end of an extern "C" block
        current += c
        if c == "{":
            depth += 1
        elif c == "}":
            depth -= 1
            if depth == 0 and re.search(r"\)\s*(const\s*)?\{", current):
                yield " ".join(current.split())
                current = ""
        elif c == ";" and depth == 0:
            yield " ".join(current.split())
            current = ""


def declarations(text):
    """Structures (tag -> field names), type names (name -> the structure it names, if one),
    functions and enumerators the text declares."""
    structures, types, functions, enumerators = {}, {}, [], []
    for statement in statements(text):
        enum = re.match(r"typedef enum \{(.*)\} (\w+) ?;$", statement)
        if enum:
            types[enum.group(2)] = None
            enumerators += [e.split("=")[0].strip() for e in enum.group(1).split(",") if e.strip()]
            continue
        struct = re.match(r"(typedef )?struct (\w+) \{(.*)\}(.*);?$", statement)
        if struct:
            fields = []
            for field in struct.group(3).split(";"):
                if field.strip():
                    if "," in field:
                        raise Failure("one field a declaration, please: " + field)
                    fields.append(re.search(r"(\w+)\s*(\[[^\]]*\])*\s*$", field).group(1))
            structures[struct.group(2)] = fields
            if struct.group(1):
                for name in re.findall(r"(\w+)\s*(?:,|;|$)", struct.group(4)):
                    types[name] = struct.group(2)
        elif statement.startswith("typedef"):
            pointer = re.search(r"\(\s*\*\s*(\w+)\s*\)", statement)
            named = re.match(r"typedef (?:struct )?(\w+)\W", statement).group(1)
            for name in [pointer.group(1)] if pointer else re.findall(r"(\w+)\s*(?:,|;)",
                                                                      statement):
                types[name] = types.get(named, named if named in structures else None)
        elif not statement.startswith(("static_assert", "struct")) and "(" in statement:
            functions.append(re.search(r"(\w+)\s*\(", statement).group(1))
    return structures, types, functions, enumerators


def resolve(name, ours):
    """A macro that only names another of the headers' macros stands for that one's body."""
    body = ours[name][1]
    while body in ours and ours[body][0] is None:
        body = ours[body][1]
    return body


class Writer:
    def __init__(self, table):
        self.table = table
        self.lines = []
        self.checked = set()
        self.counts = {"constants": set(), "types": set(), "structures": set(), "fields": set(),
                       "functions": set(), "macros": set()}

    def emit(self, *lines):
        self.lines.extend(lines)

    def expect(self, condition, message):
        self.emit('static_assert(%s, "%s");' % (condition, message.replace('"', "'")))

    def row(self, name):
        self.checked.add(name)
        return self.table.get(name)


def compare_view(compiler, include, defines, headers, table, writer, sdk_macros):
    names = our_macro_names(include)
    std_headers = sorted({h for header in os.listdir(include)
                          for h in re.findall(r"#include <(\w+)>",
                                              open(os.path.join(include, header)).read())})
    view_macros = macros(compiler, defines, including(include, headers))
    ours = {name: view_macros[name] for name in names if name in view_macros}
    structures, types, functions, enumerators = declarations(
        our_text(compiler, include, defines, headers))

    w = writer
    w.emit("// Written by compare_headers.py; compiled, never kept.")
    w.emit(*["#include <%s>" % h for h in std_headers + ["cstdlib", "cstring"]])
    w.emit('#include "shape.h"')
    w.emit(*["#define " + d.replace("=", " ") for d in defines])
    w.emit("namespace ce {", including(include, headers), "}")
    w.emit(*["#undef " + d.split("=")[0] for d in defines])

    integers, handles, tokens = [], [], []
    for name in sorted(ours):
        parameters, _ = ours[name]
        body = resolve(name, ours)
        if parameters is not None:
            row = w.row(name)
            if row is None and name not in PROBES:
                raise Failure("%s(): a macro with arguments and no probe or row" % name)
        elif "reinterpret_cast" in body:
            handles.append(name)
        elif not re.search(r"\d", body):
            tokens.append(name)
        else:
            integers.append(name)

    # The device's values, captured before the SDK's headers redefine the names.
    w.emit("#define CE_CAPTURE(name) constexpr auto name##_ = name;")
    w.emit("namespace ce_value {", "using namespace ce;")
    w.emit(*["CE_CAPTURE(%s)" % name for name in integers])
    for name in PROBES:
        if name in ours:
            for i, arguments in enumerate(PROBES[name]):
                w.emit("constexpr auto %s_%d = %s(%s);" % (name, i, name, arguments))
    w.emit("}")
    # A handle constant is compared by its number: in here its casts are casts to a number.
    handle_types = sorted({t for name in handles
                           for t in re.findall(r"reinterpret_cast<(\w+)>", resolve(name, ours))})
    w.emit("namespace ce_handle {", "using namespace ce;")
    w.emit(*["using %s = ::ce::ULONG_PTR;" % t for t in handle_types])
    w.emit("#define reinterpret_cast static_cast")
    w.emit(*["CE_CAPTURE(%s)" % name for name in handles])
    w.emit("#undef reinterpret_cast", "}")
    w.emit(*["#undef " + name for name in sorted(ours)])
    w.emit("#undef CE_CAPTURE")

    w.emit("#define UNICODE", "#define _UNICODE", "#include <windows.h>")
    w.emit("namespace sdk_handle {")
    w.emit(*["using %s = ::ULONG_PTR;" % t for t in handle_types])
    w.emit(*["constexpr ::ULONG_PTR %s_ = %s;" % (name, name) for name in handles if
             name not in table], "}")

    for name in integers + handles:
        space = "ce_handle" if name in handles else "ce_value"
        row = w.row(name)
        w.counts["constants"].add(name)
        if row is None:
            if name not in sdk_macros:
                w.emit('#error "%s: the SDK does not define it; if it is CE\'s alone, the table '
                       'says so"' % name)
                continue
            other = "sdk_handle::%s_" % name if name in handles else name
            w.expect("check::SameInteger(%s::%s_, %s)" % (space, name, other),
                     "%s: the device's value is not the SDK's" % name)
            continue
        w.expect("check::SameInteger(%s::%s_, %s)" % (space, name, row[0]),
                 "%s: the device's value is not CE's (%s)" % (name, row[0]))
        if row[1] == ABSENT:
            w.emit("#ifdef %s" % name, '#error "%s: the SDK defines it after all"' % name,
                   "#endif")
        else:
            w.expect("check::SameInteger(%s, %s)" % (name, row[1]),
                     "%s: the SDK's value is not the table's (%s)" % (name, row[1]))

    for name in tokens:
        w.counts["macros"].add(name)
        if w.row(name) is None and ours[name][1] != sdk_macros.get(name, (None, None))[1]:
            raise Failure("%s: the device defines it as '%s', the SDK as '%s'"
                          % (name, ours[name][1], sdk_macros.get(name, (None, ABSENT))[1]))
    for name in PROBES:
        if name in ours:
            w.counts["macros"].add(name)
            for i, arguments in enumerate(PROBES[name]):
                w.expect("check::SameInteger(ce_value::%s_%d, %s(%s))" % (name, i, name, arguments),
                         "%s(%s): the device's result is not the SDK's" % (name, arguments))

    for name, tag in types.items():
        w.counts["types"].add(name)
        # A structure the table gives CE's own layout gives its names theirs.
        if w.row(name) is None and (tag is None or tag not in table):
            w.expect("check::SameType<ce::%s, ::%s>()" % (name, name),
                     "%s: the device's type is not the SDK's" % name)

    for tag, fields in structures.items():
        w.counts["structures"].add(tag)
        row = w.row(tag)
        ce_layout = layout_cell(row[0]) if row else {}
        sdk_layout = layout_cell(row[1]) if row else {}
        for key, value in ce_layout.items():
            what = "sizeof(ce::%s)" % tag if key == "size" else "offsetof(ce::%s, %s)" % (tag, key)
            w.expect("%s == %d" % (what, value), "%s %s: the device's is not CE's" % (tag, key))
        for key, value in sdk_layout.items():
            what = "sizeof(::%s)" % tag if key == "size" else "offsetof(::%s, %s)" % (tag, key)
            w.expect("%s == %d" % (what, value), "%s %s: the SDK's is not the table's" % (tag, key))
        if "size" not in ce_layout:
            w.expect("sizeof(ce::%s) == sizeof(::%s)" % (tag, tag),
                     "%s: the device's size is not the SDK's" % tag)
        for field in fields:
            w.counts["fields"].add(tag + "." + field)
            if field in ce_layout:
                continue
            w.expect("check::SameType<decltype(ce::%s::%s), decltype(::%s::%s)>()"
                     % (tag, field, tag, field),
                     "%s.%s: the device's type is not the SDK's" % (tag, field))
            w.expect("offsetof(ce::%s, %s) == offsetof(::%s, %s)" % (tag, field, tag, field),
                     "%s.%s: the device's offset is not the SDK's" % (tag, field))

    # Enumerators the SDK lacks (the setup header's result codes) are held to the table.
    for name in enumerators:
        w.counts["constants"].add(name)
        row = w.row(name)
        if row is None:
            w.expect("check::SameInteger(+ce::%s, +::%s)" % (name, name),
                     "%s: the device's value is not the SDK's" % name)
        else:
            w.expect("check::SameInteger(+ce::%s, %s)" % (name, row[0]),
                     "%s: the device's value is not CE's (%s)" % (name, row[0]))

    for name in functions:
        w.counts["functions"].add(name)
        if w.row(name) is None:
            w.expect("check::SameFunction<decltype(ce::%s), decltype(::%s)>::Test()"
                     % (name, name),
                     "%s: the device's argument or result types are not the SDK's" % name)


def compile_unit(compiler, lines, includes, work, name):
    path = os.path.join(work, name)
    with open(path, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")
    # Only the assertions speak: the two headers' declarations of one C function differ by
    # design, which g++ can only warn about.
    command = [compiler, "-std=c++17", "-fsyntax-only", "-w", "-I", HERE]
    command += ["-I" + i for i in includes] + [path]
    result = subprocess.run(command, capture_output=True, text=True)
    messages = list(dict.fromkeys(re.findall(r"error: (.*)", result.stderr)))
    if result.returncode != 0 and not messages:
        messages = [result.stderr]
    return messages


def main(argv):
    if len(argv) < 4:
        raise SystemExit(__doc__)
    compiler, include, table_path = argv[1], os.path.abspath(argv[2]), argv[3]
    every_header = sorted(h for h in os.listdir(include) if h.endswith(".h"))
    table = read_table(table_path)
    sdk_macros = macros(compiler, ["UNICODE", "_UNICODE"], "#include <windows.h>\n")
    writer = Writer(table)
    problems = []
    with tempfile.TemporaryDirectory() as work:
        for index, (view, defines, headers) in enumerate(VIEWS):
            writer.lines = []
            compare_view(compiler, include, defines, headers or every_header, table, writer,
                         sdk_macros)
            problems += ["%s view: %s" % (view, m) for m in
                         compile_unit(compiler, writer.lines, [], work, "view%d.cpp" % index)]
    problems += ["the table's row for %s names nothing the headers declare" % name
                 for name in table if name not in writer.checked]
    if problems:
        print("\n".join("FAIL: " + p for p in problems), file=sys.stderr)
        return 1
    c = writer.counts
    print("the device's headers against mingw-w64's (32-bit): %d constants, %d type names, "
          "%d structures (%d fields), %d functions, %d other macros; %d of them as the table of "
          "CE's own gives them" % (len(c["constants"]), len(c["types"]), len(c["structures"]),
                                   len(c["fields"]), len(c["functions"]), len(c["macros"]),
                                   len(table)))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except FileNotFoundError as missing:
        print("FAIL: %s: mingw-w64's g++ for 32-bit Windows is needed (scripts/install-deps.sh)"
              % missing.filename, file=sys.stderr)
        sys.exit(1)
    except Failure as failure:
        print("FAIL: %s" % failure, file=sys.stderr)
        sys.exit(1)
