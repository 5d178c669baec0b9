#!/usr/bin/env python3
"""The helper of apply.sh: reads the mapping tables beside it and does the parts of the
rename that are not git or the build.

  rename.py check  REPO [BUILD]           the tables against the code (collisions, shadowing)
  rename.py plan   REPO BUILD WORK        one clang-rename input per translation unit
  rename.py fixes  REPO BUILD WORK        applies clang-rename's exported fixes, each once
  rename.py paths  REPO                   old file paths -> new ones in every text file
  rename.py rules  REPO                   the text.tsv rules (after clang's fixes, before the rest)
  rename.py words  REPO                   spellings that mean one thing only, as whole words
  rename.py text   REPO                   comments by the tables, class names outside C++
  rename.py align  REPO                   trailing comments aligned again where they were
  rename.py moves  REPO                   prints "old<TAB>new" for git mv
  rename.py errors REPO BUILD LOG              mends what the compiler reports about old names
  rename.py left   REPO                   reports old-form identifiers still present

Every step is driven by the tables (classes.tsv, members.tsv, text.tsv) and by what the
compiler and clang-rename find, never by line numbers.
"""
import json
import os
import re
import shlex
import subprocess
import sys
from collections import defaultdict

HERE = os.path.dirname(os.path.abspath(__file__))
IDENT = re.compile(r'[A-Za-z_][A-Za-z0-9_]*')

# ------------------------------------------------------------------------------ tables


def rows(name):
    out = []
    with open(os.path.join(HERE, name), encoding='utf-8') as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip('\n')
            if not line.strip() or line.startswith('#'):
                continue
            out.append((n, line.split('\t')))
    return out


class Tables:
    def __init__(self):
        self.classes = {}      # old class -> new class
        self.files = []        # (old path, new path)
        for n, r in rows('classes.tsv'):
            if r[0] == 'class':
                self.classes[r[1]] = r[2]
            elif r[0] == 'file':
                self.files.append((r[1], r[2]))
            else:
                sys.exit(f'classes.tsv:{n}: unknown kind {r[0]!r}')
        self.members = []      # dicts: qname, qual, cls, old, new, note
        for n, r in rows('members.tsv'):
            if len(r) < 2:
                sys.exit(f'members.tsv:{n}: needs a qualified name and a new name')
            q = r[0]
            parts = q.split('::')
            self.members.append(dict(line=n, qname=q, qual='::'.join(parts[:-1]), cls=parts[0] if len(parts) > 1 else '',
                                     old=parts[-1], new=r[1], note=r[2] if len(r) > 2 else ''))
        self.text = []         # (glob, scope, old, new)
        if os.path.exists(os.path.join(HERE, 'text.tsv')):
            for n, r in rows('text.tsv'):
                if len(r) != 4 or r[1] not in ('code', 'comment', 'string', 'text'):
                    sys.exit(f'text.tsv:{n}: expected glob, scope (code|comment|string|text), old, new')
                self.text.append(tuple(r))
        self.new_to_old_class = {v: k for k, v in self.classes.items()}

    def by_class_member(self):
        m = defaultdict(dict)
        for e in self.members:
            m[e['qual']][e['old']] = e['new']
        return m

    def old_spellings(self):
        s = set(self.classes)
        s.update(e['old'] for e in self.members)
        return s


# ------------------------------------------------------------------------------ files


def git_files(repo):
    out = subprocess.run(['git', '-C', repo, 'ls-files', '-z'], capture_output=True, check=True).stdout
    return [p for p in out.decode().split('\0') if p]


def text_files(repo):
    """The files the rename may touch: sources, scripts, CMake, the README. Not the
    pictures and fixtures, and not these tables and scripts themselves, wherever a copy of
    them lies in the repository (they name every old name on purpose)."""
    files = []
    tracked = git_files(repo)
    names = set(tracked)
    tools = {os.path.dirname(p) for p in tracked
             if os.path.basename(p) == 'members.tsv' and os.path.join(os.path.dirname(p), 'rename.py') in names}
    here = os.path.relpath(HERE, os.path.realpath(repo))
    if not here.startswith('..'):
        tools.add(here)
    for p in tracked:
        if p.startswith(('docs/', 'tests/fixtures/')):
            continue
        if any(p.startswith(t + '/') for t in tools if t):
            continue
        full = os.path.join(repo, p)
        if not os.path.isfile(full) or os.path.islink(full):
            continue
        with open(full, 'rb') as f:
            data = f.read()
        if b'\0' in data:
            continue
        try:
            data.decode('utf-8')
        except UnicodeDecodeError:
            continue
        files.append(p)
    return files


def is_cpp(path):
    return path.endswith(('.cpp', '.h', '.hpp', '.cc', '.moc'))


def read(repo, p):
    with open(os.path.join(repo, p), encoding='utf-8') as f:
        return f.read()


def write(repo, p, text):
    with open(os.path.join(repo, p), 'w', encoding='utf-8') as f:
        f.write(text)


# ------------------------------------------------------------------------------ C++ text


def segments(text):
    """Splits C++ source into (kind, start, end): kind is code, comment or string (string
    and character literals, raw strings included)."""
    out = []
    i, n, start = 0, len(text), 0

    def push(kind, a, b):
        if b > a:
            out.append((kind, a, b))

    while i < n:
        c = text[i]
        if c == '/' and i + 1 < n and text[i + 1] in '/*':
            push('code', start, i)
            if text[i + 1] == '/':
                j = text.find('\n', i)
                j = n if j < 0 else j
            else:
                j = text.find('*/', i + 2)
                j = n if j < 0 else j + 2
            push('comment', i, j)
            i = start = j
            continue
        if c == '"' or c == "'":
            # The run of letters and digits before the quote: a number makes it a digit
            # separator (1'000), a prefix (u8, L, R, u8R, ...) belongs to the literal.
            k = i
            while k > start and (text[k - 1].isalnum() or text[k - 1] == '_'):
                k -= 1
            run = text[k:i]
            if c == "'" and run[:1].isdigit():
                i += 1
                continue
            prefix = run if re.fullmatch(r'(u8|u|U|L)?R?', run) else ''
            if not prefix:
                k = i
            push('code', start, k)
            if c == '"' and prefix.endswith('R'):
                m = re.match(r'"([^()\\ ]{0,16})\(', text[i:])
                delim = m.group(1) if m else ''
                j = text.find(')' + delim + '"', i)
                j = n if j < 0 else j + len(delim) + 2
            else:
                j = i + 1
                while j < n and text[j] != c:
                    if text[j] == '\\':
                        j += 1
                    elif text[j] == '\n':
                        break
                    j += 1
                j = min(j + 1, n)
            push('string', k, j)
            i = start = j
            continue
        i += 1
    push('code', start, n)
    return out


def words_in(text, kinds=('code',)):
    w = set()
    for kind, a, b in segments(text):
        if kind in kinds:
            w.update(IDENT.findall(text, a, b))
    return w


def replace_words(chunk, table, comment=False):
    """Replaces whole identifiers of chunk by table (old -> new). In a comment a word in
    double quotes is a text ("frxDB_CNF", a data set's name), not a name: it stays."""
    if not table:
        return chunk
    edge = '"' if comment else ''
    pat = re.compile(r'(?<![A-Za-z0-9_' + edge + r'])(' + '|'.join(sorted(map(re.escape, table), key=len, reverse=True))
                     + r')(?![A-Za-z0-9_' + edge + r'])')
    return pat.sub(lambda m: table[m.group(1)], chunk)


def map_segments(text, fn):
    """Rebuilds text with fn(kind, chunk) applied to each segment."""
    parts = []
    for kind, a, b in segments(text):
        parts.append(fn(kind, text[a:b]))
    return ''.join(parts)


# ------------------------------------------------------------------------------ classes


def class_graph(repo, files):
    """Base classes of every class the project declares: {class: [bases]}."""
    bases = {}
    decl = re.compile(r'\b(?:class|struct)\s+([A-Za-z_]\w*)\s*(?:final\s*)?:\s*([^{;]+)\{')
    for p in files:
        if not is_cpp(p):
            continue
        t = read(repo, p)
        code = map_segments(t, lambda k, c: c if k == 'code' else ' ' * len(c))
        for m in decl.finditer(code):
            bl = []
            for part in m.group(2).split(','):
                part = re.sub(r'\b(public|protected|private|virtual)\b', '', part).strip()
                part = re.sub(r'<.*', '', part).strip()
                if part:
                    bl.append(part.split('::')[-1])
            bases.setdefault(m.group(1), []).extend(bl)
    return bases


def class_bodies(code):
    """(class name, start, end) of every class or struct body in code (comments and strings
    already blanked out); nested bodies are listed too."""
    out = []
    for m in re.finditer(r'\b(?:class|struct)\s+([A-Za-z_]\w*)\s*(?:final\s*)?(?::[^{;()]*)?\{', code):
        depth, i = 1, m.end()
        while i < len(code) and depth:
            if code[i] == '{':
                depth += 1
            elif code[i] == '}':
                depth -= 1
            i += 1
        out.append((m.group(1), m.end(), i - 1))
    return out


def ancestors(cls, bases):
    seen, todo = [], [cls]
    while todo:
        c = todo.pop()
        if c in seen:
            continue
        seen.append(c)
        todo.extend(bases.get(c, []))
    return seen


def descendants(cls, bases):
    return [c for c in bases if cls in ancestors(c, bases)] + [cls]


# Qt's members that a new name must not hide (QObject, QWidget, QDialog, QMainWindow).
def qt_member_names():
    names = set()
    for h in ('QtCore/qobject.h', 'QtWidgets/qwidget.h', 'QtWidgets/qdialog.h', 'QtWidgets/qmainwindow.h',
              'QtGui/qpaintdevice.h', 'QtCore/qabstractitemmodel.h', 'QtCore/qstringlistmodel.h'):
        for root in ('/usr/include/x86_64-linux-gnu/qt6', '/usr/include/qt6'):
            p = os.path.join(root, h)
            if os.path.exists(p):
                with open(p, encoding='utf-8', errors='replace') as f:
                    names.update(re.findall(r'\b([a-z][A-Za-z0-9_]*)\s*\(', f.read()))
                break
    return names


def cmd_check(repo):
    t = Tables()
    files = text_files(repo)
    bases = class_graph(repo, files)
    problems = []
    # The same old name twice, or two old names of a class onto one new name.
    seen = {}
    for e in t.members:
        if e['qname'] in seen:
            problems.append(f"members.tsv:{e['line']}: {e['qname']} listed twice")
        seen[e['qname']] = e
    per_class = defaultdict(dict)
    for e in t.members:
        if e['note'] == 'override':
            continue
        other = per_class[e['qual']].get(e['new'])
        if other and other != e['old']:
            problems.append(f"members.tsv:{e['line']}: {e['qual']}::{e['old']} and ::{other} both become {e['new']}")
        per_class[e['qual']][e['new']] = e['old']
    # A new name must not hide or be hidden by one of a base or derived class.
    for e in t.members:
        if not e['cls'] or e['note'] == 'override' or e['cls'] not in bases:
            continue
        for rel in ancestors(e['cls'], bases)[1:] + descendants(e['cls'], bases)[:-1]:
            o = per_class.get(rel, {}).get(e['new'])
            if o and o != e['old']:
                problems.append(f"members.tsv:{e['line']}: {e['qname']} -> {e['new']} meets {rel}::{o} -> {e['new']}")
    qt = qt_member_names()
    for e in t.members:
        if e['cls'] and e['new'] in qt:
            problems.append(f"members.tsv:{e['line']}: {e['new']} is a Qt base-class member name")
    new_classes = set(t.classes.values())
    all_words = set()
    for p in files:
        if is_cpp(p):
            all_words |= words_in(read(repo, p))
    for c in new_classes:
        if c in all_words:
            problems.append(f'classes.tsv: {c} already names something in the code')
    # Shadowing: the new name already used unqualified (a local, a parameter, another
    # member) in the code of the class or of a class derived from it.
    files_of = defaultdict(set)
    for p in files:
        if not is_cpp(p):
            continue
        text = read(repo, p)
        w = words_in(text)
        for c in bases:
            if c not in w:
                continue
            if re.search(r'\b' + re.escape(c) + r'\s*::\s*~?\w+\s*\(', text) or re.search(r'\b(?:class|struct)\s+' + re.escape(c) + r'\b[^;]*\{', text):
                files_of[c].add(p)
    blanked = {}

    def regions(p, c):
        """The parts of file p that are class c's: its body and its member functions."""
        if (p, c) not in blanked:
            text = read(repo, p)
            code = map_segments(text, lambda k, x: x if k == 'code' else ' ' * len(x))
            out = [(a, b) for name, a, b in class_bodies(code) if name == c]
            for m in re.finditer(r'\b' + re.escape(c) + r'\s*::\s*~?\w+\s*\(', code):
                line_end = code.find('\n', m.start())
                line_end = len(code) if line_end < 0 else line_end
                line = code[m.start():line_end]
                if '{' in line and line.count('{') == line.count('}'):
                    out.append((m.start(), line_end))      # a definition on one line
                    continue
                close = code.find('\n}', m.start())          # a body ends with } in column 0
                out.append((m.start(), len(code) if close < 0 else close + 2))
            blanked[(p, c)] = (code, out)
        return blanked[(p, c)]

    for e in t.members:
        if not e['cls'] or e['note'] == 'override' or e['cls'] not in bases:
            continue
        for c in descendants(e['cls'], bases):
            for p in files_of.get(c, ()):
                code, spans = regions(p, c)
                for a, b in spans:
                    m = re.search(r'(?<![A-Za-z0-9_.>:])' + re.escape(e['new']) + r'(?![A-Za-z0-9_])', code[a:b])
                    if m:
                        line = code.count('\n', 0, a + m.start()) + 1
                        problems.append(f"{p}:{line}: {e['new']} (new name of {e['qname']}) is already used here, in {c}")
                        break
    # Every old-form member a class declares must be in the table (main may have gained
    # one since the table was written), and no class outside the table may declare a
    # spelling that is renamed as a plain word.
    mapped = defaultdict(set)
    for e in t.members:
        mapped[e['old']].add(e['qual'])
    words_only = textual(t)
    olds = t.old_spellings()
    for p in files:
        if not is_cpp(p):
            continue
        text = read(repo, p)
        code = map_segments(text, lambda k, c: c if k == 'code' else ' ' * len(c))
        for cls, a, b in class_bodies(code):
            for m in re.finditer(r'(?<![\w.>:])([A-Za-z_]\w*)\s*(?=\(|;|,|=|\[|\{)', code[a:b]):
                s = m.group(1)
                if not (OLD_FORM.fullmatch(s) or s in olds) or s in t.classes:
                    continue
                owners = mapped.get(s, set())
                if '' in owners:
                    continue
                if any(c in owners or t.new_to_old_class.get(c) in owners for c in ancestors(cls, bases)):
                    continue
                line = text.count('\n', 0, a + m.start()) + 1
                why = 'is renamed as a word elsewhere' if s in words_only else 'has no row in members.tsv'
                problems.append(f'{p}:{line}: {cls}::{s} {why}')
    for p in sorted(set(problems)):
        print(p)
    print(f'check: {len(set(problems))} problem(s)', file=sys.stderr)
    return 1 if problems else 0


# ------------------------------------------------------------------------------ plan


def compile_db(build):
    with open(os.path.join(build, 'compile_commands.json')) as f:
        return json.load(f)


def include_dirs(entry):
    args = shlex.split(entry['command']) if 'command' in entry else entry['arguments']
    dirs = []
    for i, a in enumerate(args):
        if a == '-I' and i + 1 < len(args):
            dirs.append(args[i + 1])
        elif a.startswith('-I'):
            dirs.append(a[2:])
    return dirs


def textual(t):
    """Spellings renamed as whole words in code and comments (never in strings): the
    classes, and old-form spellings of five characters or more that become one new name
    wherever they occur. Nothing else in the code is spelled like them."""
    out = dict(t.classes)
    targets = defaultdict(set)
    for e in t.members:
        targets[e['old']].add(e['new'])
    for s, n in targets.items():
        if len(n) == 1 and len(s) >= 5 and (OLD_FORM.fullmatch(s) or re.search(r'(Click|Change|KeyPress)$', s)):
            out[s] = next(iter(n))
    return out


def cmd_plan(repo, build, work):
    t = Tables()
    repo = os.path.realpath(repo)
    build = os.path.realpath(build)
    os.makedirs(work, exist_ok=True)
    files = set(text_files(repo))
    words = {}

    def wordset(p):
        if p not in words:
            words[p] = words_in(read(repo, p)) if p in files else set()
        return words[p]

    includes = {}

    def direct_includes(p, extra_dirs):
        key = (p, tuple(extra_dirs))
        if key in includes:
            return includes[key]
        found = []
        text = read(repo, p)
        for m in re.finditer(r'^\s*#\s*include\s+"([^"]+)"', text, re.M):
            name = m.group(1)
            for d in [os.path.dirname(os.path.join(repo, p)), repo] + extra_dirs:
                cand = os.path.realpath(os.path.join(d, name))
                if cand.startswith(repo + os.sep) and not cand.startswith(build + os.sep) and os.path.isfile(cand):
                    rel = os.path.relpath(cand, repo)
                    if rel in files:
                        found.append(rel)
                    break
        includes[key] = found
        return found

    def reachable(p, extra_dirs):
        seen, todo = [], [p]
        while todo:
            q = todo.pop()
            if q in seen:
                continue
            seen.append(q)
            todo.extend(direct_includes(q, extra_dirs))
        return seen

    # What is to be renamed: the class rows and the members that are not overrides. A
    # spelling that means one thing only (textual()) is renamed as a word; clang-rename
    # gets the rest.
    words_only = textual(t)
    entries = [e for e in t.members if e['note'] != 'override' and e['old'] not in words_only]
    with open(os.path.join(work, 'textual.tsv'), 'w') as f:
        for s, n in sorted(words_only.items()):
            f.write(f'{s}\t{n}\n')
    by_spelling = defaultdict(list)
    for e in entries:
        by_spelling[e['old']].append(e)

    def needed(p, visible):
        out = []
        for s in wordset(p) & set(by_spelling):
            for e in by_spelling[s]:
                if not e['qual'] or e['qual'].split('::')[0] in visible:
                    out.append(e['qname'])
        return out

    tus = []
    done = set()
    for entry in compile_db(build):
        f = os.path.realpath(os.path.join(entry['directory'], entry['file']))
        if not f.startswith(repo + os.sep) or f.startswith(build + os.sep):
            continue
        rel = os.path.relpath(f, repo)
        if rel not in files or rel in done:
            continue
        done.add(rel)
        extra = [d for d in include_dirs(entry) if os.path.realpath(d).startswith(repo + os.sep)]
        reach = reachable(rel, extra)
        visible = set().union(*(wordset(p) for p in reach))
        tus.append(dict(file=f, rel=rel, reach=reach, visible=visible, names=set(needed(rel, visible))))

    # Each header's names go to one translation unit that includes it: its own .cpp when
    # there is one, else the one with the fewest names so far.
    headers = sorted({h for tu in tus for h in tu['reach'][1:]})
    for h in headers:
        own_visible = set().union(*(wordset(p) for p in reachable(h, [])))
        need = set(needed(h, own_visible))
        if not need:
            continue
        users = [tu for tu in tus if h in tu['reach']]
        stem = os.path.splitext(h)[0]
        users.sort(key=lambda tu: (os.path.splitext(tu['rel'])[0] != stem, len(tu['names'])))
        for q in sorted(need):
            if any(q in tu['names'] for tu in users):
                continue
            qual = q.split('::')[0] if '::' in q else ''
            for tu in users:
                if not qual or qual in tu['visible']:
                    tu['names'].add(q)
                    break
    new_of = {e['qname']: e['new'] for e in entries}
    jobs = []
    for i, tu in enumerate(sorted(tus, key=lambda tu: -len(tu['names']))):
        if not tu['names']:
            continue
        y = os.path.join(work, f'in-{i:03d}.yaml')
        with open(y, 'w') as f:
            f.write('---\n')
            for q in sorted(tu['names']):
                f.write(f'- QualifiedName: {q}\n  NewName: {new_of[q]}\n')
            f.write('...\n')
        jobs.append(f"{y}\t{os.path.join(work, f'fix-{i:03d}.yaml')}\t{tu['file']}\t{len(tu['names'])}")
    with open(os.path.join(work, 'jobs.tsv'), 'w') as f:
        f.write('\n'.join(jobs) + '\n')
    print(f'plan: {len(jobs)} translation units, {sum(int(j.split(chr(9))[3]) for j in jobs)} names in all', file=sys.stderr)
    return 0


# ------------------------------------------------------------------------------ fixes


def cmd_fixes(repo, build, work):
    import yaml
    t = Tables()
    repo = os.path.realpath(repo)
    build = os.path.realpath(build)
    olds = t.old_spellings()
    per_file = defaultdict(dict)   # path -> offset -> (length, text)
    conflicts = []
    for name in sorted(os.listdir(work)):
        if not (name.startswith('fix-') and name.endswith('.yaml')):
            continue
        with open(os.path.join(work, name)) as f:
            doc = yaml.safe_load(f)
        if not doc:
            continue
        base = os.path.dirname(doc.get('MainSourceFile') or '') or build
        for r in doc.get('Replacements') or []:
            p = r['FilePath']
            if not os.path.isabs(p):
                p = os.path.join(base, p)
            p = os.path.realpath(p)
            if not p.startswith(repo + os.sep) or p.startswith(build + os.sep):
                continue
            rel = os.path.relpath(p, repo)
            key = r['Offset']
            val = (r['Length'], r['ReplacementText'])
            old = per_file[rel].get(key)
            if old and old != val:
                conflicts.append(f'{rel} @{key}: {old} / {val}')
            per_file[rel][key] = val
    if conflicts:
        print('\n'.join(conflicts))
        sys.exit('fixes: conflicting replacements, nothing applied')
    total = 0
    for rel, reps in sorted(per_file.items()):
        with open(os.path.join(repo, rel), 'rb') as f:
            data = f.read()
        last = None
        for off in sorted(reps, reverse=True):
            length, text = reps[off]
            was = data[off:off + length].decode('utf-8')
            if was not in olds:
                sys.exit(f'fixes: {rel} @{off}: expected an old name, found {was!r}')
            if last is not None and off + length > last:
                sys.exit(f'fixes: {rel} @{off}: overlapping replacements')
            data = data[:off] + text.encode('utf-8') + data[off + length:]
            last = off
            total += 1
        with open(os.path.join(repo, rel), 'wb') as f:
            f.write(data)
    print(f'fixes: {total} replacements in {len(per_file)} files', file=sys.stderr)
    return 0


def cmd_words(repo):
    """The spellings that mean one thing only, as whole words in code and comments."""
    table = textual(Tables())
    changed = 0
    for p in text_files(repo):
        if not is_cpp(p):
            continue
        text = read(repo, p)
        new = map_segments(text, lambda k, c: replace_words(c, table, k == 'comment') if k != 'string' else c)
        if new != text:
            write(repo, p, new)
            changed += 1
    print(f'words: {len(table)} spellings, {changed} files', file=sys.stderr)
    return 0


# ------------------------------------------------------------------------------ paths


def path_table(t):
    """Old path (and its stem without extension) -> new."""
    table = {}
    for old, new in t.files:
        table[old] = new
        so, sn = os.path.splitext(old)[0], os.path.splitext(new)[0]
        if os.path.splitext(old)[1] == os.path.splitext(new)[1]:
            table.setdefault(so, sn)
    return table


def cmd_paths(repo):
    t = Tables()
    table = path_table(t)
    pat = re.compile(r'(?<![A-Za-z0-9_./-])(' + '|'.join(sorted(map(re.escape, table), key=len, reverse=True)) + r')(?![A-Za-z0-9_/-])')
    changed = 0
    for p in text_files(repo):
        text = read(repo, p)
        new = pat.sub(lambda m: table[m.group(1)], text)
        if new != text:
            write(repo, p, new)
            changed += 1
    print(f'paths: {changed} files', file=sys.stderr)
    return 0


def cmd_moves(repo):
    t = Tables()
    present = set(git_files(repo))
    for old, new in t.files:
        if old in present:
            print(f'{old}\t{new}')
        elif new not in present:
            sys.exit(f'moves: neither {old} nor {new} is in the repository')
    return 0


# ------------------------------------------------------------------------------ text


def glob_match(pattern, path):
    import fnmatch
    return fnmatch.fnmatch(path, pattern)


def apply_rule(text, cpp, scope, old, new):
    ident = bool(re.fullmatch(r'\w+', old))

    def sub(chunk):
        if ident:
            return re.sub(r'(?<![A-Za-z0-9_])' + re.escape(old) + r'(?![A-Za-z0-9_])', lambda m: new, chunk)
        return chunk.replace(old, new)

    if scope == 'text' or not cpp:
        return sub(text)
    kinds = {'code': ('code', 'comment'), 'comment': ('comment',), 'string': ('string',)}[scope]
    return map_segments(text, lambda k, c: sub(c) if k in kinds else c)


def cmd_rules(repo):
    t = Tables()
    used = set()
    changed = 0
    for p in text_files(repo):
        text = read(repo, p)
        new = text
        for rule in t.text:
            glob, scope, old, repl = rule
            if glob_match(glob, p):
                after = apply_rule(new, is_cpp(p), scope, old, repl)
                if after != new:
                    used.add(rule)
                new = after
        if new != text:
            write(repo, p, new)
            changed += 1
    for rule in t.text:
        if rule not in used and '*' not in rule[0]:
            print(f'rules: no longer matches: {rule[0]} {rule[2]!r}', file=sys.stderr)
    print(f'rules: {changed} files', file=sys.stderr)
    return 0


def trailing_comment(line):
    """(code, column) of a line holding code and then a // comment; None otherwise."""
    for kind, a, b in segments(line):
        if kind == 'comment':
            code = line[:a].rstrip()
            return (code, a) if code.strip() and line[a:b].startswith('//') else None
    return None


def cmd_align(repo):
    """Lines whose trailing comments stood in one column before the rename stand in one
    column again (the new names are longer or shorter than the old), and includes that
    were in order are in order again."""
    out = subprocess.run(['git', '-C', repo, 'diff', '--name-only', '-z'], capture_output=True, check=True).stdout
    changed = 0
    for p in [x for x in out.decode().split('\0') if x and is_cpp(x)]:
        old = subprocess.run(['git', '-C', repo, 'show', 'HEAD:' + p], capture_output=True, check=True).stdout.decode('utf-8')
        old_lines = old.split('\n')
        new_lines = read(repo, p).split('\n')
        if len(old_lines) != len(new_lines):
            continue
        n, i, touched = len(old_lines), 0, False
        while i < n:
            first = trailing_comment(old_lines[i])
            if not first:
                i += 1
                continue
            j = i
            while j + 1 < n:
                nxt = trailing_comment(old_lines[j + 1])
                if not nxt or nxt[1] != first[1]:
                    break
                j += 1
            group = range(i, j + 1)
            if any(new_lines[k] != old_lines[k] for k in group):
                olds = [trailing_comment(old_lines[k]) for k in group]
                news = [trailing_comment(new_lines[k]) for k in group]
                if all(news) and all(c.isascii() for c, _ in olds + news):
                    gap = max(1, first[1] - max(len(c) for c, _ in olds))
                    target = max(len(c) for c, _ in news) + gap
                    for k, (c, a) in zip(group, news):
                        line = c + ' ' * (target - len(c)) + new_lines[k][a:]
                        if line != new_lines[k]:
                            new_lines[k] = line
                            touched = True
            i = j + 1
        # A block of #include "..." lines that was in order is put in order again (a .cpp's
        # own header first stays first).
        inc = re.compile(r'#include "[^"]+"\s*$')
        i = 0
        while i < n:
            if not inc.match(old_lines[i]):
                i += 1
                continue
            j = i
            while j + 1 < n and inc.match(old_lines[j + 1]):
                j += 1
            a = i
            stem = os.path.splitext(os.path.basename(p))[0]
            if p.endswith('.cpp') and old_lines[a].rstrip().endswith('/' + stem + '.h"'):
                a += 1
            olds, news = old_lines[a:j + 1], new_lines[a:j + 1]
            if olds == sorted(olds) and news != olds and all(inc.match(x) for x in news) and news != sorted(news):
                new_lines[a:j + 1] = sorted(news)
                touched = True
            i = j + 1
        if touched:
            write(repo, p, '\n'.join(new_lines))
            changed += 1
    print(f'align: {changed} files', file=sys.stderr)
    return 0


def cmd_text(repo):
    t = Tables()
    files = text_files(repo)
    bases = class_graph(repo, files)
    members = t.by_class_member()
    # Spellings with one new name over the whole table, long enough not to be something else.
    targets = defaultdict(set)
    for e in t.members:
        targets[e['old']].add(e['new'])
    unique = {s: next(iter(n)) for s, n in targets.items() if len(n) == 1 and len(s) >= 5}
    classes = dict(t.classes)
    changed = 0
    for p in files:
        text = read(repo, p)
        cpp = is_cpp(p)
        new = text
        if cpp:
            # The classes this file speaks of (by old or new name) and their bases.
            w = words_in(new, ('code', 'comment'))
            home = set()
            for c in set(classes) | set(t.new_to_old_class):
                if c in w:
                    old_c = t.new_to_old_class.get(c, c)
                    home.update(ancestors(old_c, bases))
                    home.update(ancestors(classes.get(old_c, old_c), bases))
            for c in ('BrowseWindow', 'FixedDialog', 'SeasonStatisticsWindow', 'DayCloseWindow'):
                if c in w:
                    home.update(ancestors(c, bases))
            local = defaultdict(set)
            for c in home:
                c = t.new_to_old_class.get(c, c)
                for old, repl in members.get(c, {}).items():
                    local[old].add(repl)
            local = {s: next(iter(n)) for s, n in local.items() if len(n) == 1}
            comment_table = dict(unique)
            comment_table.update(local)
            comment_table.update(classes)
            code_table = dict(classes)

            def fix(kind, chunk):
                if kind == 'comment':
                    return replace_words(chunk, comment_table, True)
                if kind == 'code':
                    return replace_words(chunk, code_table)
                return chunk
            new = map_segments(new, fix)
        else:
            new = replace_words(new, classes)
        if new != text:
            write(repo, p, new)
            changed += 1
    print(f'text: {changed} files', file=sys.stderr)
    return 0


# ------------------------------------------------------------------------------ errors

Q1, Q2 = "['\u2018]", "['\u2019]"   # GCC quotes with ‘ ’ in a UTF-8 locale
GCC_MEMBER = re.compile(r"^(?P<file>[^:\s]+):(?P<line>\d+):(?P<col>\d+): error: " + Q1 + r"(?:class |struct )?(?P<cls>[\w:]+)(?:<[^'\u2019]*>)?" + Q2 + r" has no member named " + Q1 + r"(?P<name>\w+)" + Q2)
CLANG_MEMBER = re.compile(r"^(?P<file>[^:\s]+):(?P<line>\d+):(?P<col>\d+): error: no member named '(?P<name>\w+)' in '(?:class |struct )?(?P<cls>[\w:]+)'")
GCC_QUALIFIED = re.compile(r"^(?P<file>[^:\s]+):(?P<line>\d+):(?P<col>\d+): error: " + Q1 + r"(?P<name>\w+)" + Q2 + r" is not a member of " + Q1 + r"(?P<cls>[\w:]+)" + Q2)
UNDECLARED = re.compile(r"^(?P<file>[^:\s]+):(?P<line>\d+):(?P<col>\d+): error: (?:" + Q1 + r"(?P<name>\w+)" + Q2 + r" was not declared in this scope|use of undeclared identifier '(?P<name2>\w+)')")


def cmd_errors(repo, build, log):
    t = Tables()
    files = text_files(repo)
    bases = class_graph(repo, files)
    members = t.by_class_member()
    targets = defaultdict(set)
    for e in t.members:
        targets[e['old']].add(e['new'])
    repo = os.path.realpath(repo)
    edits = defaultdict(dict)
    unknown = []
    with open(log, encoding='utf-8', errors='replace') as f:
        for line in f:
            m = GCC_MEMBER.match(line) or CLANG_MEMBER.match(line) or GCC_QUALIFIED.match(line)
            new = None
            if m:
                cls = m.group('cls').split('::')[-1]
                name = m.group('name')
                for c in ancestors(cls, bases) + ancestors(t.new_to_old_class.get(cls, cls), bases):
                    c = t.new_to_old_class.get(c, c)
                    if name in members.get(c, {}):
                        new = members[c][name]
                        break
                if new is None and name in t.classes:
                    new = t.classes[name]
            else:
                m = UNDECLARED.match(line)
                if not m:
                    continue
                name = m.group('name') or m.group('name2')
                if name in t.classes:
                    new = t.classes[name]
                elif len(targets.get(name, ())) == 1:
                    new = next(iter(targets[name]))
            if new is None:
                if name in t.old_spellings():
                    unknown.append(line.strip())
                continue
            # Ninja runs the compiler in the build directory: relative paths start there.
            path = os.path.realpath(os.path.join(build, m.group('file')))
            if not path.startswith(repo + os.sep):
                continue
            edits[os.path.relpath(path, repo)][(int(m.group('line')), int(m.group('col')))] = (name, new)
    count = 0
    for rel, spots in edits.items():
        lines = read(repo, rel).split('\n')
        for (ln, col), (name, new) in sorted(spots.items(), reverse=True):
            s = lines[ln - 1]
            # The column counts bytes; find the name at or after it on the line.
            b = s.encode('utf-8')
            at = b.find(name.encode(), max(0, col - 1 - len(name)))
            if at < 0:
                continue
            pre = b[:at].decode('utf-8', 'replace')
            i = len(pre)
            if not re.match(re.escape(name) + r'(?![A-Za-z0-9_])', s[i:]) or (i and (s[i - 1].isalnum() or s[i - 1] == '_')):
                continue
            lines[ln - 1] = s[:i] + new + s[i + len(name):]
            count += 1
        write(repo, rel, '\n'.join(lines))
    for u in unknown:
        print('errors: not mended: ' + u)
    print(f'errors: {count} mended', file=sys.stderr)
    return 0 if count else 2


# ------------------------------------------------------------------------------ leftovers

OLD_FORM = re.compile(r'(?<![A-Za-z0-9_])(Tfrm\w+|frmDMP?|Edit\d+\w*|Label\d+|BitBtn\d+\w*|Button\d+\w*|CheckBox\d+\w*|GroupBox\d+|'
                      r'DBGrid\d*|DBLookupComboBox\d*\w*|DateTimePicker\d*\w*|SpinEdit\d*|PopupMenu\d+|ToolBar\d+|DataSource\d+|'
                      r'ADOQuery\d*|ADOQ_\w+|frx[A-Z]\w*|N\d+Click|[A-Z]\d+Click|Form(?:Create|Show|Close\w*|Destroy|Activate|KeyPress)|'
                      r'my(?!Date\b)[A-Z]\w*|DBCom\w+|NumToChar|Print(?:CNF|ZD|Dept)|OpenDialog\d+|SaveDialog\d+|\w+KeyPress)(?![A-Za-z0-9_])')


def cmd_left(repo):
    t = Tables()
    names = t.old_spellings()
    found = {'code': [], 'comment': [], 'string': [], 'text': []}
    for p in text_files(repo):
        if p.startswith('docs/'):
            continue
        text = read(repo, p)
        segs = segments(text) if is_cpp(p) else [('text', 0, len(text))]
        for kind, a, b in segs:
            for m in OLD_FORM.finditer(text, a, b):
                w = m.group(1)
                # A quoted word in a comment is a text (a data set's name), as in replace_words.
                if kind == 'comment' and text[m.start() - 1:m.start()] == '"' and text[m.end():m.end() + 1] == '"':
                    continue
                line = text.count('\n', 0, m.start()) + 1
                found[kind].append(f'{p}:{line}: {w}')
            # Other old spellings (SeasonBox, HouseId, Opener, ...) also name unrelated
            # things in code (a test's local struct Opener): the compiler has checked the
            # code; only comments and texts are listed.
            if kind in ('comment', 'text'):
                for m in IDENT.finditer(text, a, b):
                    if m.group(0) in names and not OLD_FORM.fullmatch(m.group(0)):
                        line = text.count('\n', 0, m.start()) + 1
                        found[kind].append(f'{p}:{line}: {m.group(0)}')
    for kind in ('code', 'comment', 'text', 'string'):
        items = sorted(set(found[kind]))
        print(f'== old-form names left in {kind} ({len(items)})')
        for i in items:
            print(i)
    return 1 if found['code'] else 0


def main():
    a = sys.argv[1:]
    if not a:
        print(__doc__)
        return 2
    cmd = a[0]
    if cmd == 'check':
        return cmd_check(a[1])
    if cmd == 'plan':
        return cmd_plan(a[1], a[2], a[3])
    if cmd == 'fixes':
        return cmd_fixes(a[1], a[2], a[3])
    if cmd == 'paths':
        return cmd_paths(a[1])
    if cmd == 'moves':
        return cmd_moves(a[1])
    if cmd == 'words':
        return cmd_words(a[1])
    if cmd == 'rules':
        return cmd_rules(a[1])
    if cmd == 'text':
        return cmd_text(a[1])
    if cmd == 'align':
        return cmd_align(a[1])
    if cmd == 'errors':
        return cmd_errors(a[1], a[2], a[3])
    if cmd == 'left':
        return cmd_left(a[1])
    print(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main())
