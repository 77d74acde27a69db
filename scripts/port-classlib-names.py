#!/usr/bin/env python3
"""Ports code written against the class library's old property names (namespace cl) to the new ones.

The class library's properties were X() getters over x_ fields; they are now GetX()/SetX() over FX fields, and
the properties whose setter had no side effect are plain public fields (obj->X, obj->X = v). The list of renamed
members per class is in port-classlib-names.txt (next to this script; `--list` prints it).

Three ways to use it (from the root of a checkout that has the class library rename):

  port-classlib-names.py FILE...
      Rewrites the given files by pattern, only where that is safe without types:
        - calls of getters whose name no class outside the class library declares (obj->GetCanvas() ...);
        - calls of the common names (Width, Height, Size, Position, Count, Handle, ...) on a receiver that the file
          itself declares with a class-library type (cl::TStream* s; TMemoryStream ms;
          std::unique_ptr<cl::TBitmap> bmp; ...);
        - the properties that became fields: obj->ShowHint() -> obj->ShowHint, obj->SetShowHint(v); -> obj->ShowHint = v;
          e.Message() -> e.Message (cl::Exception);
        - member pointers &cl::TControl::Width -> &cl::TControl::GetWidth;
        - includes of renamed headers (platform/gdi_impl.h -> platform/gdi_internal.h, the transition and platform
          tests' helper headers), and platform/user_testhooks.h where a file uses the window manager's test seams
          (test::ResetUser, test::ScreenComposite, ...), which left platform/user.h.
      Then build; what remains is what the patterns could not prove: use the next mode.

  port-classlib-names.py --build-log LOG
      Applies the fixes at the exact places a g++ build log reports ("has no member named 'Width'",
      "'Canvas' was not declared in this scope", a field called as a function, an owned field such as FFont
      (now a std::unique_ptr) passed where a pointer is expected...). Type-accurate: it only touches
      what the compiler says is a class-library member that no longer exists.

  port-classlib-names.py --syntax-loop BUILD_DIR [PATH-PART...]
      The same over `g++ -fsyntax-only` of every file in BUILD_DIR/compile_commands.json (or those whose path
      contains one of the PATH-PARTs), 4 at a time: much faster than a build.

  port-classlib-names.py --loop BUILD_DIR [TARGET...]
      Runs `ninja -C BUILD_DIR -k 0 -j4 TARGET...`, applies --build-log fixes, and repeats until the build succeeds
      or no further fix applies (then prints the remaining errors).

A file is rewritten only when something changed; every change is printed as file:line.
"""
import os
import re
import subprocess
import sys

# ---- the renames ---------------------------------------------------------------------------------------------

GETTERS = {
    "TList": "Count Capacity List",
    "TStringList": "Count Text CommaText Sorted CaseSensitive",
    "TComponent": "Owner ComponentCount ComponentIndex Name ComponentState",
    "TStream": "Position Size",
    "TFileStream": "FileName Handle",
    "TCustomMemoryStream": "Memory",
    "TStringStream": "DataString",
    "TSizeConstraints": "MinWidth MinHeight MaxWidth MaxHeight",
    "TControl": "Left Top Width Height BoundsRect ClientRect ClientWidth ClientHeight ClientOrigin Constraints "
                "AutoSize Parent Align Anchors Visible Enabled Showing Color ParentColor Font ParentFont Cursor "
                "Caption Text MouseCapture",
    "TWinControl": "Handle ParentWindow ControlCount Brush BorderWidth BevelKind BevelEdges BevelInner BevelOuter "
                   "BevelWidth",
    "TGraphicControl": "Canvas",
    "TCustomControl": "Canvas",
    "TToolWindow": "EdgeBorders EdgeInner EdgeOuter",
    "TTabSheet": "PageControl TabVisible PageIndex TabIndex",
    "TPageControl": "PageCount ActivePage ActivePageIndex TabHeight DisplayRect",
    "TPanel": "BevelOuter BevelInner BevelWidth BorderStyle Alignment",
    "TImage": "Picture Stretch Center Proportional Transparent Canvas",
    "TShape": "Shape Pen Brush",
    "TTimer": "Enabled Interval OnTimer",
    "TControlScrollBar": "Kind Visible Style",
    "TScrollingWinControl": "HorzScrollBar VertScrollBar",
    "TCustomForm": "BorderStyle BorderIcons FormStyle WindowState ActiveControl Canvas Icon Active MDIChildCount "
                   "ClientHandle",
    "TApplication": "Handle Title Icon ExeName MainForm Terminated",
    "TScreen": "Cursor Width Height PixelsPerInch FormCount ActiveForm ActiveControl CursorPos",
    "TFont": "Name Height Size Style Color Charset Pitch Handle LogFont",
    "TPen": "Color Width Style Mode Handle",
    "TBrush": "Color Style Bitmap Handle",
    "TCanvas": "Handle LockCount Pen Brush Font CopyMode CanvasOrientation PenPos ClipRect",
    "TGraphic": "Width Height Empty Transparent Palette Modified",
    "TBitmap": "Canvas PixelFormat HandleType Monochrome ColorTable TransparentColor TransparentMode Handle",
    "TPicture": "Graphic Bitmap Icon Width Height",
    "TJPEGImage": "Bitmap CompressionQuality Grayscale Scale Performance PixelFormat ProgressiveEncoding Warnings",
    "TOleControl": "OleObject",
    "TLabel": "Transparent WordWrap Alignment Layout ShowAccelChar",
    "TButton": "Default",
}
# Properties without side effects, now public fields: X() -> X, SetX(v) -> X = v.
FIELDS = {
    "TControl": "Hint ShowHint",
    "TWinControl": "TabStop TabOrder",
    "TCustomForm": "Position ModalResult",
    "TJPEGImage": "ProgressiveDisplay Smoothing",
    "TButton": "Cancel ModalResult",
    "Exception": "Message",
}
# Other changes, listed for people; applied through the build log.
OTHER = [
    "TGraphic: the protected SetWidthImpl/SetHeightImpl/SetTransparentImpl/SetPaletteImpl are now the public virtual "
    "SetWidth/SetHeight/SetTransparent/SetPalette; GetWidth/GetHeight/GetEmpty/GetTransparent/GetPalette are public "
    "virtual (override them in a new graphic class).",
    "Every field of the class library x_ is now FX (e.g. width_ -> FWidth); TWinControl's bevelInnerW_/bevelOuterW_/"
    "bevelWidthW_ are FBevelInner/FBevelOuter/FBevelWidth.",
    "Inside a class derived from a control, the platform's GetClientRect/GetParent/GetCursorPos(...) are hidden by the "
    "members of the same name: call them as win::GetClientRect(...).",
]

CLASS_PARENTS = {
    "TStringList": "TPersistent", "TList": "TObject", "TObjectList": "TList", "TComponent": "TPersistent",
    "TStream": "TObject", "TFileStream": "TStream", "TCustomMemoryStream": "TStream",
    "TMemoryStream": "TCustomMemoryStream", "TResourceStream": "TCustomMemoryStream", "TStringStream": "TStream",
    "TSizeConstraints": "TPersistent", "TControl": "TComponent", "TWinControl": "TControl",
    "TGraphicControl": "TControl", "TCustomControl": "TWinControl", "TToolWindow": "TWinControl",
    "TTabSheet": "TWinControl", "TPageControl": "TCustomControl", "TPanel": "TCustomControl",
    "TImage": "TGraphicControl", "TShape": "TGraphicControl", "TTimer": "TComponent",
    "TControlScrollBar": "TPersistent", "TScrollingWinControl": "TWinControl", "TCustomForm": "TScrollingWinControl",
    "TForm": "TCustomForm", "TApplication": "TComponent", "TScreen": "TComponent", "TGraphicsObject": "TPersistent",
    "TFont": "TGraphicsObject", "TPen": "TGraphicsObject", "TBrush": "TGraphicsObject", "TCanvas": "TPersistent",
    "TControlCanvas": "TCanvas", "TBitmapCanvas": "TCanvas", "TGraphic": "TPersistent", "TBitmap": "TGraphic",
    "TIcon": "TGraphic", "TPicture": "TPersistent", "TJPEGImage": "TGraphic", "TOleControl": "TWinControl",
    "TLabel": "TGraphicControl", "TButton": "TWinControl", "TPersistent": "TObject", "TObject": None,
}

GETTER_NAMES = sorted({n for v in GETTERS.values() for n in v.split()})
FIELD_NAMES = sorted({n for v in FIELDS.values() for n in v.split()})
# Position is a getter of TStream and a field of TCustomForm: leave it to the types.
FIELD_ONLY = [n for n in FIELD_NAMES if n not in GETTER_NAMES]


def renames_text():
    out = ["Class library renames (namespace cl)", "",
           "Getters: X() -> GetX() (setters keep SetX; fields x_ -> FX)"]
    for cls, names in GETTERS.items():
        out.append(f"  {cls}: " + ", ".join(f"{n}() -> Get{n}()" for n in names.split()))
    out += ["", "Properties that became plain public fields: X() -> X, SetX(v) -> X = v"]
    for cls, names in FIELDS.items():
        out.append(f"  {cls}: " + ", ".join(names.split()))
    out += ["", "Other"] + ["  " + o for o in OTHER]
    return "\n".join(out) + "\n"


def members_of(cls):
    got, fields = set(), set()
    while cls:
        got |= set(GETTERS.get(cls, "").split())
        fields |= set(FIELDS.get(cls, "").split())
        cls = CLASS_PARENTS.get(cls)
    return got, fields


# ---- pattern mode --------------------------------------------------------------------------------------------

def repo_root():
    d = os.getcwd()
    while d != "/" and not os.path.isdir(os.path.join(d, "src", "classlib")):
        d = os.path.dirname(d)
    return d if d != "/" else os.getcwd()


def names_declared_elsewhere(root, extra_files=()):
    """Zero-argument member names declared by classes outside the class library (these are ambiguous)."""
    decl = re.compile(r"\b([A-Z]\w*)\s*\(\s*\)\s*(?:const\s*)?(?:noexcept\s*)?(?:override\s*)?(?:final\s*)?[{;=:]")
    found = set()
    paths = []
    for top in ("src", "tests", "tools", "bench", "fuzz"):
        for dp, _, fs in os.walk(os.path.join(root, top)):
            if os.path.join("src", "classlib") in dp:
                continue
            paths += [os.path.join(dp, f) for f in fs if f.endswith((".h", ".hpp", ".cpp"))]
    paths += list(extra_files)
    for p in paths:
        try:
            s = open(p, encoding="utf-8", errors="replace").read()
        except OSError:
            continue
        found |= set(decl.findall(s))
    return found


def matching_paren(s, i):
    """Index of the ')' closing the '(' at s[i], or -1."""
    depth = 0
    j = i
    in_str = None
    while j < len(s):
        c = s[j]
        if in_str:
            if c == "\\":
                j += 2
                continue
            if c == in_str:
                in_str = None
        elif c in "\"'":
            in_str = c
        elif c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
            if depth == 0:
                return j
        j += 1
    return -1


def rewrite_setter_to_field(s, start, name):
    """s[start:] begins with 'SetName(' as a statement call: 'SetName(expr)' -> 'Name = expr'. None when not a
    plain statement (its value used, or more than one argument)."""
    open_i = start + len("Set" + name)
    close_i = matching_paren(s, open_i)
    if close_i < 0 or not s[close_i + 1:].lstrip().startswith(";"):
        return None
    arg = s[open_i + 1:close_i]
    # one argument only (no top-level comma)
    depth = 0
    for c in arg:
        if c in "([{<":
            depth += 1
        elif c in ")]}>":
            depth -= 1
        elif c == "," and depth == 0:
            return None
    return s[:start] + name + " = " + arg.strip() + s[close_i + 1:]


TYPE_DECL = re.compile(
    r"\b(?:cl::)?(T[A-Z]\w*)\b\s*(?:const\s*)?(?:\*+|&)?\s*(?:const\s*)?\b([a-zA-Z_]\w*)\s*(?=[;,=)({\[])"
    r"|unique_ptr<\s*(?:cl::)?(T[A-Z]\w*)\s*>\s*&?\s*([a-zA-Z_]\w*)"
    r"|shared_ptr<\s*(?:cl::)?(T[A-Z]\w*)\s*>\s*&?\s*([a-zA-Z_]\w*)")


def typed_receivers(s):
    """Variables (and fields) the text declares with a class-library type: name -> class."""
    out = {}
    for m in TYPE_DECL.finditer(s):
        cls = m.group(1) or m.group(3) or m.group(5)
        var = m.group(2) or m.group(4) or m.group(6)
        if cls in CLASS_PARENTS and var not in ("override", "const", "final"):
            out.setdefault(var, set()).add(cls)
    return out


# Headers that were renamed with the class library's conventions (old include -> new include).
RENAMED_HEADERS = {
    "platform/gdi_impl.h": "platform/gdi_internal.h",
    "te_test_util.h": "te_test_device.h",
    "te_masked_util.h": "te_mask_geometry.h",
    "te_screen_util.h": "te_screen_forms.h",
    "test_gdi_util.h": "gdi_dib_canvas.h",
    "common/xvfb_util.h": "common/xvfb_desktop.h",
    "xvfb_util.h": "xvfb_desktop.h",
}
# The window manager's test seams left platform/user.h for platform/user_testhooks.h.
TEST_HOOKS = re.compile(r"\btest::(ScreenComposite|Screen|ResetUser|MouseMove|MouseButton|Button|Wheel|Key|Activate|"
                        r"Deactivate|SetInputScript|ScheduleInput|CreateForeignWindow|MessageBoxRecord|MessageBoxes|"
                        r"QueueMessageBoxAnswer|CurrentCursor|CursorVisible|CaretState|GetCaretState|NativeWindowId|"
                        r"BackendName)\b")
TEST_HOOKS_INCLUDE = '#include "platform/user_testhooks.h"'


def port_includes(s, changes):
    for old, new in RENAMED_HEADERS.items():
        s2 = re.sub(r'(#include\s+"(?:[^"]*/)?)' + re.escape(old) + '"', lambda m: m.group(1) + new + '"', s)
        if s2 != s:
            changes.append("renamed headers")
            s = s2
    # A seam named in a comment (platform/user.h mentions test::CreateForeignWindow) is no use of it.
    code = re.sub(r"//[^\n]*", "", s)
    if TEST_HOOKS.search(code) and TEST_HOOKS_INCLUDE not in s:
        lines = s.split("\n")
        incs = [i for i, l in enumerate(lines) if l.startswith('#include "')]
        if incs:
            user = [i for i in incs if lines[i] == '#include "platform/user.h"']
            at = user[0] + 1 if user else next((i for i in incs if lines[i] > TEST_HOOKS_INCLUDE), incs[-1] + 1)
            lines.insert(at, TEST_HOOKS_INCLUDE)
            s = "\n".join(lines)
            changes.append("test hooks header")
    return s


def port_text(s, ambiguous, log, path):
    unique = [n for n in GETTER_NAMES if n not in ambiguous]
    local_ambiguous = set()
    decl = re.compile(r"\b([A-Z]\w*)\s*\(\s*\)\s*(?:const\s*)?(?:noexcept\s*)?(?:override\s*)?[{;=]")
    local_ambiguous |= set(decl.findall(s))
    changes = []
    s = port_includes(s, changes)

    def line_of(pos):
        return s.count("\n", 0, pos) + 1

    # 1. getters whose names only the class library has
    names = [n for n in unique if n not in local_ambiguous]
    if names:
        r = re.compile(r"(->|\.)(" + "|".join(names) + r")\(\)")
        s2 = r.sub(lambda m: m.group(1) + "Get" + m.group(2) + "()", s)
        if s2 != s:
            changes.append("unique getter names")
            s = s2
    # 2. common names on receivers declared with a class-library type
    recv = typed_receivers(s)
    if recv:
        r = re.compile(r"\b([a-zA-Z_]\w*)(->|\.)([A-Z]\w*)\(\)")

        def sub(m):
            classes = recv.get(m.group(1))
            if not classes:
                return m.group(0)
            getters = set()
            for c in classes:
                getters |= members_of(c)[0]
            if m.group(3) in getters:
                return m.group(1) + m.group(2) + "Get" + m.group(3) + "()"
            return m.group(0)
        s2 = r.sub(sub, s)
        if s2 != s:
            changes.append("typed receivers")
            s = s2
    # 3. properties that became fields
    for name in FIELD_ONLY:
        if name in local_ambiguous:
            continue
        r = re.compile(r"(->|\.)" + name + r"\(\)")
        s2 = r.sub(lambda m: m.group(1) + name, s)
        if s2 != s:
            changes.append(f"{name}() -> {name}")
            s = s2
        # setters
        pos = 0
        r = re.compile(r"(->|\.)Set" + name + r"\(")
        while True:
            m = r.search(s, pos)
            if not m:
                break
            t = rewrite_setter_to_field(s, m.start(1) + len(m.group(1)), name)
            if t is None:
                print(f"{path}:{line_of(m.start())}: Set{name}(...) used as a value: port it by hand")
                pos = m.end()
                continue
            s = t
            changes.append(f"Set{name}(v) -> {name} = v")
            pos = m.start() + 1
    # 4. member pointers
    r = re.compile(r"(&\s*(?:cl::)?(T\w+)::)(" + "|".join(GETTER_NAMES) + r")\b(?!\s*\()")

    def mp(m):
        if m.group(2) in CLASS_PARENTS and m.group(3) in members_of(m.group(2))[0]:
            return m.group(1) + "Get" + m.group(3)
        return m.group(0)
    s2 = r.sub(mp, s)
    if s2 != s:
        changes.append("member pointers")
        s = s2
    if changes:
        log.append(f"{path}: " + ", ".join(dict.fromkeys(changes)))
    return s


SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".inc")


def port_files(files):
    root = repo_root()
    ambiguous = names_declared_elsewhere(root)
    log = []
    for p in files:
        # Only C++ sources; corpus files, fixtures and scripts in the same folders are left alone.
        if not p.endswith(SOURCE_SUFFIXES):
            continue
        s = open(p, encoding="utf-8").read()
        t = port_text(s, ambiguous, log, p)
        if t != s:
            open(p, "w", encoding="utf-8").write(t)
    print("\n".join(log))


# ---- build-log mode ------------------------------------------------------------------------------------------

ERR = re.compile(r"^(?P<file>[^:\s]+):(?P<line>\d+):(?P<col>\d+): error: (?P<msg>.*)$")
NO_MEMBER = re.compile(r"has no member named [‘'](\w+)[’']")
NOT_DECLARED = re.compile(r"[‘'](\w+)[’'] was not declared in this scope")
NOT_MEMBER_OF = re.compile(r"[‘'](\w+)[’'] is not a member of [‘'](?:cl::)?\w+[’']")
CALLED_FIELD = re.compile(r"expression cannot be used as a function|no match for call to|cannot be used as a function")
NOT_OVERRIDE = re.compile(r"[‘'][^’']*::(\w+)\(\)[^’']*[’'] marked [‘']override[’'], but does not override")
NO_DECL = re.compile(r"no declaration matches [‘'][^’']*::(\w+)\(\)")
OWNED = re.compile(r"cannot convert [‘']std::unique_ptr<|no matching function for call to [‘'][^’']*\(std::unique_ptr<")
OWNED_FIELDS = ("FFont", "FBrush", "FPen", "FCanvas", "FConstraints", "FPicture", "FIcon", "FHorz", "FVert",
                "FGraphic")
NOT_MATCHING = re.compile(r"no matching function for call to [‘'](?:[\w:<>]*::)?(Get\w+)\(")


def apply_build_log(text, base_dir):
    """Returns the number of fixes applied."""
    edits = {}  # path -> list of (line, col, kind, name)
    for raw in text.splitlines():
        m = ERR.match(raw.strip())
        if not m:
            continue
        path = m.group("file")
        if not os.path.isabs(path):
            path = os.path.normpath(os.path.join(base_dir, path))
        if "/src/classlib/" in path and path.endswith(".h"):
            continue
        line, col, msg = int(m.group("line")), int(m.group("col")), m.group("msg")
        for rx, kind in ((NOT_OVERRIDE, "override"), (NO_DECL, "override"), (NO_MEMBER, "member"), (NOT_DECLARED, "unqualified"), (NOT_MEMBER_OF, "qualified")):
            mm = rx.search(msg)
            if mm:
                edits.setdefault(path, []).append((line, col, kind, mm.group(1)))
                break
        else:
            if OWNED.search(msg):
                edits.setdefault(path, []).append((line, col, "owned", None))
            elif CALLED_FIELD.search(msg):
                edits.setdefault(path, []).append((line, col, "field", None))
            else:
                mm = NOT_MATCHING.search(msg)
                if mm and mm.group(1)[3:] in ("ClientRect", "Parent", "CursorPos", "Cursor", "PixelFormat"):
                    edits.setdefault(path, []).append((line, col, "platform", mm.group(1)))
    fixes = 0
    for path, items in edits.items():
        try:
            lines = open(path, encoding="utf-8").read().split("\n")
        except OSError:
            continue
        done = set()
        # right to left within a line so columns stay valid
        for line, col, kind, name in sorted(set(items), key=lambda t: (t[0], -t[1])):
            i = line - 1
            if i >= len(lines):
                continue
            text = lines[i]
            new = fix_line(text, col - 1, kind, name)
            if new is None and i + 1 < len(lines) and kind in ("member", "unqualified"):
                # the call may continue on the next line
                pass
            if new is not None and new != text:
                lines[i] = new
                fixes += 1
                done.add(line)
        if done:
            open(path, "w", encoding="utf-8").write("\n".join(lines))
            for ln in sorted(done):
                print(f"{path}:{ln}: fixed")
    return fixes


def fix_line(text, col, kind, name):
    if kind == "owned":
        # a class-library field that now owns its object through std::unique_ptr, passed on as a pointer
        r = re.compile(r"\b(" + "|".join(OWNED_FIELDS) + r")\b(?!\s*(?:->|\.|\[|=[^=]))")
        return r.sub(lambda m: m.group(1) + ".get()", text)
    if kind == "override":
        if name in GETTER_NAMES:
            return re.sub(r"(?<![\w])" + name + r"\(\)", "Get" + name + "()", text, count=1)
        if name in ("SetWidthImpl", "SetHeightImpl", "SetTransparentImpl", "SetPaletteImpl"):
            return re.sub(r"\b" + name + r"\b", name[:-4], text)
        return None
    if kind in ("member", "unqualified") and name.endswith("_") and name[:1].islower():
        # a protected field of a class-library base: x_ -> FX
        new = "F" + name[0].upper() + name[1:-1]
        return re.sub(r"(?<!\w)" + re.escape(name) + r"(?!\w)", new, text)
    if kind in ("member", "unqualified", "qualified"):
        if name in GETTER_NAMES:
            # the name at (or after) the column, as a call, or as a member pointer
            for m in re.finditer(r"\b" + name + r"\b", text):
                if m.start() < col - len(name) - 2:
                    continue
                after = text[m.end():]
                before = text[:m.start()]
                if after.startswith("()") or kind == "qualified" or before.endswith("::"):
                    return before + "Get" + name + after
            return None
        if name.startswith("Set") and name[3:] in FIELD_NAMES:
            field = name[3:]
            idx = text.find(name + "(", max(0, col - len(name) - 2))
            if idx < 0:
                idx = text.find(name + "(")
            if idx < 0:
                return None
            return rewrite_setter_to_field(text, idx, field)
        if name in ("SetWidthImpl", "SetHeightImpl", "SetTransparentImpl", "SetPaletteImpl"):
            return re.sub(r"\b" + name + r"\b", name[:-4], text)
        return None
    if kind == "field":
        for f in FIELD_NAMES:
            m = re.search(r"(->|\.|(?<![\w:]))" + f + r"\(\)", text)
            if m:
                return text[:m.start()] + m.group(1) + f + text[m.end():]
        return None
    if kind == "platform":
        return re.sub(r"(?<![\w:.>])(" + name + r")\((?=[^)])", r"win::\1(", text)
    return None


def loop(build_dir, targets):
    last = None
    for _ in range(30):
        r = subprocess.run(["ninja", "-C", build_dir, "-k", "0", "-j4"] + targets, capture_output=True, text=True)
        out = r.stdout + r.stderr
        if r.returncode == 0:
            print("build succeeded")
            return 0
        n = apply_build_log(out, build_dir)
        print(f"applied {n} fixes")
        if n == 0 or out == last:
            errs = [l for l in out.splitlines() if ": error: " in l]
            print("\n".join(errs[:80]))
            return 1
        last = out
    return 1


def syntax_check(build_dir, only=None):
    """g++ -fsyntax-only over compile_commands.json (4 at a time): the errors, as a build log would give them."""
    import json
    import shlex
    from concurrent.futures import ThreadPoolExecutor
    cmds = json.load(open(os.path.join(build_dir, "compile_commands.json")))
    jobs = []
    for c in cmds:
        if only and not any(o in c["file"] for o in only):
            continue
        args = shlex.split(c["command"])
        if args and args[0].endswith("ccache"):
            args = args[1:]
        out, skip = [], False
        for a in args:
            if skip:
                skip = False
                continue
            if a in ("-o", "-MF", "-MT"):
                skip = True
                continue
            if a in ("-c", "-MD") or a.startswith("-fsanitize") or a.startswith("-O"):
                continue
            out.append(a)
        jobs.append((c["directory"], out + ["-fsyntax-only", "-O0"]))

    def run(job):
        d, a = job
        r = subprocess.run(a, cwd=d, capture_output=True, text=True)
        return r.stderr
    with ThreadPoolExecutor(4) as ex:
        outs = list(ex.map(run, jobs))
    failed = [j[1][-3] for j, o in zip(jobs, outs) if ": error: " in o]
    return "\n".join(outs), failed


def syntax_loop(build_dir, only):
    for _ in range(30):
        out, failed = syntax_check(build_dir, only)
        only = failed or only
        errs = [l for l in out.splitlines() if ": error: " in l]
        if not errs:
            print("no errors")
            return 0
        n = apply_build_log(out, build_dir)
        print(f"applied {n} fixes ({len(errs)} errors in {len(failed)} files)", flush=True)
        if n == 0:
            print("\n".join(dict.fromkeys(errs[:100])))
            return 1
    return 1


def main(argv):
    if len(argv) >= 3 and argv[1] == "--syntax-loop":
        return syntax_loop(argv[2], argv[3:])
    if len(argv) >= 2 and argv[1] == "--list":
        sys.stdout.write(renames_text())
        return 0
    if len(argv) >= 3 and argv[1] == "--build-log":
        text = open(argv[2], encoding="utf-8", errors="replace").read()
        base = argv[3] if len(argv) > 3 else os.getcwd()
        print(f"applied {apply_build_log(text, base)} fixes")
        return 0
    if len(argv) >= 3 and argv[1] == "--loop":
        return loop(argv[2], argv[3:])
    if len(argv) >= 2 and not argv[1].startswith("-"):
        port_files(argv[1:])
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
