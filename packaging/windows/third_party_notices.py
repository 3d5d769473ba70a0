#!/usr/bin/env python3
"""Writes the third-party notices of statically linked Windows programs from their link maps.

    third_party_notices.py --qt-source DIR --qt-prefix DIR --version V --out FILE MAP...

Every object the linker took in (see each program's -Map file) is traced to its source: Qt's own
objects to the files of Debian's qt6-base source they were compiled from, with everything those
files include; the runtime's objects to the mingw-w64 and GCC packages. The notices are those of
the qt_attribution.json entries that cover any of those files, plus Qt's and the runtime's own
licences, so the list follows the build. An object of unknown origin stops the script: nothing
linked goes without its notice.
"""

import argparse
import json
import os
import re
import sys
import textwrap
from pathlib import Path

MINGW_ROOT = "/usr/x86_64-w64-mingw32/"
GCC_ROOT = "/usr/lib/gcc/x86_64-w64-mingw32/"
MINGW_COPYRIGHT = Path("/usr/share/doc/mingw-w64-x86-64-dev/copyright")
GCC_COPYRIGHT = Path("/usr/share/doc/gcc-mingw-w64-base/copyright")
RULE = "-" * 78


def linked_objects(map_file):
    """(container, member) for every archive member and object file the link took in."""
    objects = set()
    in_archives = False
    with open(map_file, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            if line.startswith("Archive member included"):
                in_archives = True
                continue
            if in_archives and line.startswith(("Discarded input sections", "Memory Configuration")):
                in_archives = False
            if in_archives:
                m = re.match(r"^(\S.*)\((.+)\)$", line.rstrip("\n"))
                if m:
                    objects.add((os.path.normpath(m.group(1)), m.group(2)))
            elif line.startswith("LOAD "):
                path = line[5:].strip()
                if not path.endswith(".a") and "/" in path:
                    objects.add((os.path.normpath(path), ""))
    return objects


class QtSource:
    """Debian's qt6-base source tree: its files by name, their includes, their attributions."""

    def __init__(self, root):
        self.root = Path(root).resolve()
        self.by_name = {}
        for base, dirs, files in os.walk(self.root / "src"):
            dirs[:] = [d for d in dirs if d not in ("tests", "examples", "doc")]
            for f in files:
                self.by_name.setdefault(f, []).append(Path(base) / f)

    def version(self):
        first = (self.root / "debian/changelog").read_text(encoding="utf-8").split("\n", 1)[0]
        return re.search(r"\((.+?)\)", first).group(1)

    def sources_of(self, member):
        """The source files an object of a Qt archive was compiled from."""
        name = re.sub(r"\.(obj|o)$", "", member)
        return self.by_name.get(name, [])

    def resource_files(self, target, resource):
        """The files a Qt resource object embeds, from the qt_internal_add_resource calls."""
        found = []
        for cmake in (self.root / "src").rglob("CMakeLists.txt"):
            text = cmake.read_text(encoding="utf-8", errors="replace")
            lists = {m.group(1): m.group(2).split()
                     for m in re.finditer(r"set\((\w+)\s+([^)]*)\)", text)}
            call = r'qt_internal_add_resource\(\s*%s\s+"%s"([^)]*)\)' % (re.escape(target),
                                                                         re.escape(resource))
            for m in re.finditer(call, text):
                body = m.group(1).split("FILES", 1)[-1].split()
                for token in body:
                    var = re.fullmatch(r"\$\{(\w+)\}", token)
                    for item in lists.get(var.group(1), []) if var else [token]:
                        path = (cmake.parent / item.strip('"')).resolve()
                        if path.is_file():
                            found.append(path)
        return found

    def resolve_include(self, includer, name, quoted):
        if quoted:
            local = (includer.parent / name).resolve()
            if local.is_file():
                return [local]
        candidates = self.by_name.get(os.path.basename(name), [])
        if len(candidates) > 1:
            candidates = [c for c in candidates if str(c).endswith("/" + name)]
        return candidates if len(candidates) == 1 else []

    def closure(self, files, conditions):
        """The files and everything they include, as far as the includes lead into the tree;
        an include in a branch the build leaves out (for another system, or a feature turned
        off) does not count."""
        seen = set()
        pending = list(files)
        directive = re.compile(r'^\s*#\s*(\w+)\s*(.*)$')
        include = re.compile(r'^([<"])([^>"]+)[>"]')
        while pending:
            f = pending.pop()
            if f in seen:
                continue
            seen.add(f)
            try:
                text = f.read_text(encoding="utf-8", errors="replace")
            except OSError:
                continue
            # Per open #if: (its branch may be compiled, an earlier branch surely was).
            stack = []
            for line in text.splitlines():
                m = directive.match(line)
                if not m:
                    continue
                word, rest = m.group(1), re.sub(r"/[/*].*$", "", m.group(2)).strip()
                if word in ("if", "ifdef", "ifndef"):
                    if word != "if":
                        rest = ("!" if word == "ifndef" else "") + f"defined({rest})"
                    value = conditions.evaluate(rest)
                    stack.append((value is not False, value is True))
                elif word == "elif" and stack:
                    _, taken = stack.pop()
                    value = False if taken else conditions.evaluate(rest)
                    stack.append((value is not False, taken or value is True))
                elif word == "else" and stack:
                    _, taken = stack.pop()
                    stack.append((not taken, True))
                elif word == "endif" and stack:
                    stack.pop()
                elif word == "include" and all(active for active, _ in stack):
                    inc = include.match(rest)
                    if inc:
                        pending.extend(self.resolve_include(f, inc.group(2), inc.group(1) == '"'))
        return seen

    def attributions(self, files):
        """The attribution entries, in tree order, that cover any of the files."""
        chosen = []
        for json_file in sorted((self.root / "src").rglob("qt_attribution.json")):
            if "/tests/" in str(json_file):
                continue
            # Qt's files repeat keys (the last counts) and break strings over lines.
            data = json.loads(json_file.read_text(encoding="utf-8"), strict=False)
            for entry in data if isinstance(data, list) else [data]:
                if any(self.covers(json_file.parent, entry, f) for f in files):
                    chosen.append((json_file.parent, entry))
        return chosen

    @staticmethod
    def covers(folder, entry, f):
        if "Files" in entry:
            return any(f == (folder / name).resolve() for name in entry["Files"].split())
        base = (folder / entry.get("Path", ".")).resolve()
        return f == base or base in f.parents


class Conditions:
    """Evaluates preprocessor conditions as far as the build fixes them: True, False, or None
    where it cannot tell (an include under it then counts)."""

    WINDOWS = {"Q_OS_WIN", "Q_OS_WIN32", "Q_OS_WIN64", "_WIN32", "_WIN64", "WIN32", "__MINGW32__",
               "__MINGW64__", "Q_CC_MINGW", "Q_CC_GNU", "__GNUC__", "__x86_64__", "Q_PROCESSOR_X86"}
    NOT_WINDOWS = {"Q_OS_UNIX", "Q_OS_DARWIN", "Q_OS_MACOS", "Q_OS_MAC", "Q_OS_IOS", "Q_OS_TVOS",
                   "Q_OS_WATCHOS", "Q_OS_APPLE", "Q_OS_LINUX", "Q_OS_ANDROID", "Q_OS_WASM",
                   "Q_OS_QNX", "Q_OS_VXWORKS", "Q_OS_INTEGRITY", "Q_OS_FREEBSD", "Q_OS_NETBSD",
                   "Q_OS_OPENBSD", "Q_OS_HURD", "Q_OS_SOLARIS", "Q_OS_HPUX", "Q_OS_AIX",
                   "Q_OS_WINRT", "Q_OS_CYGWIN", "__APPLE__", "__linux__", "__EMSCRIPTEN__",
                   "_MSC_VER", "Q_CC_MSVC", "Q_CC_CLANG", "Q_CC_INTEL", "Q_PROCESSOR_ARM",
                   "__ARM_NEON__", "__ARM_NEON", "__aarch64__"}

    def __init__(self, qt_prefix):
        self.defines = {}
        for header in Path(qt_prefix, "include").rglob("*config*.h"):
            if "bootstrapped" in header.name:
                continue  # the build tools' settings, not the libraries'
            for name, value in re.findall(r"^#define (\w+) ?(\S*)", header.read_text(), re.M):
                self.defines[name] = value

    def evaluate(self, text):
        tokens = re.findall(r"\w+|&&|\|\||[!()]|\S", text)
        try:
            value, rest = self._or(tokens)
            return value if not rest else None
        except (IndexError, ValueError):
            return None

    def _or(self, t):
        value, t = self._and(t)
        while t and t[0] == "||":
            other, t = self._and(t[1:])
            value = True if True in (value, other) else (False if value is other is False else None)
        return value, t

    def _and(self, t):
        value, t = self._unary(t)
        while t and t[0] == "&&":
            other, t = self._unary(t[1:])
            value = False if False in (value, other) else (True if value is other is True else None)
        return value, t

    def _unary(self, t):
        if t[0] == "!":
            value, t = self._unary(t[1:])
            return (None if value is None else not value), t
        if t[0] == "(":
            value, t = self._or(t[1:])
            if t[0] != ")":
                raise ValueError
            return value, t[1:]
        if t[0] in ("defined", "QT_CONFIG"):
            kind = t[0]
            word, t = (t[2], t[4:]) if t[1] == "(" and t[3] == ")" else (t[1], t[2:])
            if kind == "QT_CONFIG":
                feature = self.defines.get("QT_FEATURE_" + word)
                return (None if feature is None else feature == "1"), t
            if word in self.WINDOWS or word in self.defines:
                return True, t
            return (False if word in self.NOT_WINDOWS else None), t
        raise ValueError


def licence_texts(folder, entry):
    names = entry.get("LicenseFiles") or ([entry["LicenseFile"]] if "LicenseFile" in entry else [])
    texts = [(folder / n).read_text(encoding="utf-8", errors="replace") for n in names]
    if "CopyrightFile" in entry:
        texts.insert(0, (folder / entry["CopyrightFile"]).read_text(encoding="utf-8"))
    return texts


def gcc_exception():
    text = GCC_COPYRIGHT.read_text(encoding="utf-8")
    m = re.search(r"^GCC RUNTIME LIBRARY EXCEPTION$.*?license of GCC\.$", text, re.M | re.S)
    if not m:
        sys.exit(f"{GCC_COPYRIGHT} no longer holds the GCC Runtime Library Exception")
    return m.group(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--qt-source", required=True)
    parser.add_argument("--qt-prefix", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("maps", nargs="+")
    args = parser.parse_args()

    qt = QtSource(args.qt_source)
    conditions = Conditions(args.qt_prefix)
    qt_prefix = os.path.realpath(args.qt_prefix) + "/"
    qt_libraries, qt_files, runtime, unknown = set(), set(), set(), set()
    for map_file in args.maps:
        for container, member in linked_objects(map_file):
            real = os.path.realpath(container)
            if real.startswith(qt_prefix):
                if real.endswith(".a"):
                    qt_libraries.add(re.sub(r"^lib|\.a$", "", os.path.basename(real)))
                resource = re.search(r"/(\w+?)_resources_\d+/\.rcc/qrc_(\w+?)\d*\.cpp\.obj$", real)
                if resource:
                    qt_files.update(qt.resource_files(resource.group(1), resource.group(2)))
                elif member:
                    qt_files.update(qt.sources_of(member))
            elif real.startswith(GCC_ROOT):
                runtime.add("gcc")
            elif real.startswith(MINGW_ROOT):
                runtime.add("mingw")
            elif not os.path.isabs(container):
                continue  # the program's own objects, in the build folder
            else:
                unknown.add(container)
    if unknown:
        sys.exit("no notice is known for these linked files: " + ", ".join(sorted(unknown)))

    sections = []
    qt_parts = textwrap.fill("Linked parts: " + ", ".join(sorted(qt_libraries)) + ".", 78)
    sections.append((
        f"Qt {qt.version().split('+')[0]} (LGPL-3.0-only)",
        f"{qt_parts}\n"
        "Copyright (C) The Qt Company Ltd. and other contributors.\n"
        "Qt is used under the GNU Lesser General Public License, version 3, given below; the\n"
        "GNU General Public License it builds on is in LICENSE.txt. The source it was built\n"
        f"from is Debian's qt6-base source package {qt.version()} (apt-get source qt6-base), with\n"
        "QEV's scripts/qt-mingw.sh; QEV's own source, with which qev.exe can be linked again\n"
        "against a changed Qt, is free software under the GPL.",
        [(qt.root / "LICENSES/LGPL-3.0-only.txt").read_text(encoding="utf-8")]))
    for folder, entry in qt.attributions(qt.closure(qt_files, conditions)):
        head = entry["Name"] + (f" {entry['Version']}" if "Version" in entry else "")
        head += f" ({entry.get('LicenseId', entry.get('License', ''))})"
        body = [entry.get("QtUsage", "")]
        if "Homepage" in entry:
            body.append("Homepage: " + entry["Homepage"])
        if "Copyright" in entry:
            body.append(entry["Copyright"].strip())
        body.append("License: " + entry["License"])
        sections.append((head, "\n".join(b for b in body if b), licence_texts(folder, entry)))
    if "mingw" in runtime:
        sections.append((
            "mingw-w64 runtime and winpthreads (ZPL-2.1, MIT, BSD-3-Clause, public domain)",
            "The start-up code, C runtime support and POSIX threads of mingw-w64, as Debian's\n"
            "package mingw-w64-x86-64-dev gives them; its copyright file follows.",
            [MINGW_COPYRIGHT.read_text(encoding="utf-8")]))
    if "gcc" in runtime:
        sections.append((
            "GCC runtime libraries: libstdc++, libgcc (GPL-3.0-or-later WITH GCC-exception-3.1)",
            "Copyright (C) Free Software Foundation, Inc.\n"
            "Licensed under the GNU General Public License, version 3 or later (LICENSE.txt),\n"
            "with the GCC Runtime Library Exception, version 3.1:",
            [gcc_exception()]))

    out = [f"QEV {args.version} for Windows: third-party notices", "=" * 60, "",
           "QEV is free software under the GNU General Public License, version 3 or (at your",
           "option) any later version; LICENSE.txt has its text. The programs are single files:",
           "the software listed here is linked into them, each part under its own licence,",
           "given in full below it. The list was made from the programs' own link.", "",
           "Contents:"]
    out += [f"  {i}. {head}" for i, (head, _, _) in enumerate(sections, 1)]
    for i, (head, body, texts) in enumerate(sections, 1):
        out += ["", RULE, f"{i}. {head}", RULE, "", body.strip()]
        for text in texts:
            out += ["", text.strip("\n")]
    Path(args.out).write_text("\n".join(out) + "\n", encoding="utf-8")
    print(f"{args.out}: {len(sections)} notices")


if __name__ == "__main__":
    main()
