#!/usr/bin/env python3
"""Turns a user-interface text file into the C tables of lang/langres.h.

The program's own file (English) names every string, menu and dialog with
its identifier:

    LANGUAGE 1033
    DESCRIPTION "Lumora PC Software"
    VERSION "3.2.1.0"
    STRING StrName 50001 "text"
    MENU MenuName 202
        POPUP "&File"
            ITEM CmdName 32771 "&Insert Codes Into List..."
            SEPARATOR
        END
    END
    DIALOG DlgName 145 "Caption"
        CONTROL CtlName 1010 "text"
    END

A translation has the same statements without the identifiers; it must
translate every string, menu and dialog of the program's file, with the
same menu structure and the same controls. Texts are UTF-8 in the files
and Windows-1252 in the tables, the program's own and the libraries' alike;
the language manager turns them back into UTF-8. Escapes: \\n \\r \\t
\\" \\\\ \\xHH (the character U+00HH).
"""
import argparse
import re
import sys

TOKEN = re.compile(r'\s*(?:"((?:[^"\\]|\\.)*)"|(\S+))')


class Error(Exception):
    pass


def unescape(text, where):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c != '\\':
            out.append(c)
            i += 1
            continue
        nxt = text[i + 1:i + 2]
        simple = {'n': '\n', 'r': '\r', 't': '\t', '"': '"', '\\': '\\'}
        if nxt in simple:
            out.append(simple[nxt])
            i += 2
        elif nxt == 'x' and re.fullmatch(r'[0-9A-Fa-f]{2}', text[i + 2:i + 4]):
            out.append(chr(int(text[i + 2:i + 4], 16)))
            i += 4
        else:
            raise Error(f'{where}: bad escape \\{nxt}')
    return ''.join(out)


def tokens(line, where):
    result = []
    pos = 0
    line = line.rstrip()
    while pos < len(line):
        m = TOKEN.match(line, pos)
        if not m or m.end() == pos:
            raise Error(f'{where}: cannot read "{line[pos:]}"')
        if m.group(1) is not None:
            result.append(('text', unescape(m.group(1), where)))
        else:
            result.append(('word', m.group(2)))
        pos = m.end()
    return result


class Resources:
    def __init__(self):
        self.header = {}
        self.strings = {}      # name -> (id, text)
        self.menus = {}        # name -> (id, [entries]); entry: (kind, name, id, text)
        self.dialogs = {}      # name -> (id, caption, {control name: (id, text)}, [order])
        self.order = {'menus': [], 'dialogs': []}


def parse(path, with_ids):
    res = Resources()
    stack = []   # open MENU / POPUP / DIALOG blocks
    try:
        with open(path, encoding='utf-8') as f:
            lines = f.read().splitlines()
    except UnicodeDecodeError as error:
        raise Error(f'{path}: not UTF-8 ({error})')
    for number, raw in enumerate(lines, 1):
        where = f'{path}:{number}'
        stripped = raw.strip()
        if not stripped or stripped.startswith('#'):
            continue
        toks = tokens(stripped, where)
        kind = toks[0][1]
        args = toks[1:]

        def want(pattern):
            shape = ''.join('w' if t == 'word' else 't' for t, _ in args)
            if shape != pattern:
                raise Error(f'{where}: {kind} expects {pattern!r}, got {shape!r}')
            return [v for _, v in args]

        def ident(value):
            if not re.fullmatch(r'\d+', value) or not 0 < int(value) < 65536:
                raise Error(f'{where}: bad identifier {value}')
            return int(value)

        def name(value, prefix):
            if not re.fullmatch(prefix + r'[A-Z][A-Za-z0-9]*', value):
                raise Error(f'{where}: name {value} must start with {prefix} and a capital')
            return value

        def in_menu(what):
            if not stack or stack[-1][0] not in ('MENU', 'POPUP'):
                raise Error(f'{where}: {what} outside a menu')

        def named():
            """NAME [ID] "text": the identifier only in the program's own file."""
            if with_ids:
                n, i, text = want('wwt')
                return n, ident(i), text
            n, text = want('wt')
            return n, None, text

        if kind in ('LANGUAGE', 'DESCRIPTION', 'VERSION', 'PRODUCT'):
            (value,) = want('w' if kind == 'LANGUAGE' else 't')
            res.header[kind] = value
        elif kind == 'STRING':
            n, i, text = named()
            n = name(n, 'Str')
            if n in res.strings:
                raise Error(f'{where}: {n} given twice')
            res.strings[n] = (i, text)
        elif kind == 'MENU':
            if stack:
                raise Error(f'{where}: MENU inside a block')
            n, i = (want('ww') if with_ids else want('w') + [None])
            n = name(n, 'Menu')
            res.menus[n] = (ident(i) if with_ids else None, [])
            res.order['menus'].append(n)
            stack.append(('MENU', n))
        elif kind == 'POPUP':
            (text,) = want('t')
            in_menu('POPUP')
            res.menus[stack[0][1]][1].append(('POPUP', None, None, text))
            stack.append(('POPUP', None))
        elif kind == 'ITEM':
            n, i, text = named()
            in_menu('ITEM')
            res.menus[stack[0][1]][1].append(('ITEM', name(n, 'Cmd'), i, text))
        elif kind == 'SEPARATOR':
            want('')
            in_menu('SEPARATOR')
            res.menus[stack[0][1]][1].append(('SEPARATOR', None, None, None))
        elif kind == 'DIALOG':
            if stack:
                raise Error(f'{where}: DIALOG inside a block')
            n, i, caption = named()
            n = name(n, 'Dlg')
            res.dialogs[n] = (i, caption, {}, [])
            res.order['dialogs'].append(n)
            stack.append(('DIALOG', n))
        elif kind == 'CONTROL':
            n, i, text = named()
            if not stack or stack[-1][0] != 'DIALOG':
                raise Error(f'{where}: CONTROL outside a dialog')
            dialog = res.dialogs[stack[-1][1]]
            n = name(n, 'Ctl')
            if n in dialog[2]:
                raise Error(f'{where}: {n} twice in one dialog')
            dialog[2][n] = (i, text)
            dialog[3].append(n)
        elif kind == 'END':
            want('')
            if not stack:
                raise Error(f'{where}: END without a block')
            block = stack.pop()
            if block[0] == 'POPUP':
                res.menus[stack[0][1]][1].append(('END', None, None, None))
        else:
            raise Error(f'{where}: unknown statement {kind}')
    if stack:
        raise Error(f'{path}: {stack[-1][0]} not closed')
    for key in ('LANGUAGE', 'DESCRIPTION', 'VERSION'):
        if key not in res.header:
            raise Error(f'{path}: {key} missing')
    return res


def check_ids(res):
    """One identifier per name, and no two names of one kind on an identifier."""
    seen = {}
    def note(kind, n, i):
        if (kind, n) in seen and seen[(kind, n)] != i:
            raise Error(f'{n} has identifiers {seen[(kind, n)]} and {i}')
        seen[(kind, n)] = i
    for n, (i, _) in res.strings.items():
        note('string', n, i)
    for n, (i, entries) in res.menus.items():
        note('menu', n, i)
        for kind, item, item_id, _ in entries:
            if kind == 'ITEM':
                note('command', item, item_id)
    for n, (i, _, controls, _) in res.dialogs.items():
        note('dialog', n, i)
        for c, (ci, _) in controls.items():
            note('control', c, ci)
    for kind in ('string', 'menu', 'dialog'):
        ids = [i for (k, _), i in seen.items() if k == kind]
        dup = {i for i in ids if ids.count(i) > 1}
        if dup:
            raise Error(f'{kind} identifiers used twice: {sorted(dup)}')
    return seen


def merge(master, translation):
    """The master's identifiers with the translation's texts."""
    out = Resources()
    out.header = dict(translation.header)
    out.order = master.order
    missing = sorted(set(master.strings) - set(translation.strings))
    extra = sorted(set(translation.strings) - set(master.strings))
    if missing or extra:
        raise Error(f'strings missing from the translation: {missing}; unknown: {extra}')
    for n, (i, _) in master.strings.items():
        out.strings[n] = (i, translation.strings[n][1])
    if set(master.menus) != set(translation.menus):
        raise Error(f'menus differ: {sorted(set(master.menus) ^ set(translation.menus))}')
    for n, (i, entries) in master.menus.items():
        theirs = translation.menus[n][1]
        shape = [(k, item) for k, item, _, _ in entries]
        if shape != [(k, item) for k, item, _, _ in theirs]:
            raise Error(f'menu {n} has another structure in the translation')
        out.menus[n] = (i, [(k, item, item_id, t[3]) for (k, item, item_id, _), t in zip(entries, theirs)])
    if set(master.dialogs) != set(translation.dialogs):
        raise Error(f'dialogs differ: {sorted(set(master.dialogs) ^ set(translation.dialogs))}')
    for n, (i, _, controls, order) in master.dialogs.items():
        _, caption, their_controls, _ = translation.dialogs[n]
        if set(controls) != set(their_controls):
            raise Error(f'dialog {n}: controls differ: {sorted(set(controls) ^ set(their_controls))}')
        out.dialogs[n] = (i, caption, {c: (ci, their_controls[c][1]) for c, (ci, _) in controls.items()}, order)
    return out


def c_string(text, where):
    if text is None:
        return '0'
    try:
        data = text.encode('cp1252')
    except UnicodeEncodeError as error:
        raise Error(f'{where}: "{text}" has a character Windows-1252 lacks ({error})')
    out = ['"']
    for byte in data:
        c = chr(byte)
        if c in '"\\?':
            out.append('\\' + c)
        elif 0x20 <= byte < 0x7F:
            out.append(c)
        else:
            out.append('\\%03o' % byte)
    out.append('"')
    return ''.join(out)


MENU_KINDS = {'ITEM': 'LUMORA_MENU_ITEM', 'POPUP': 'LUMORA_MENU_POPUP',
              'SEPARATOR': 'LUMORA_MENU_SEPARATOR', 'END': 'LUMORA_MENU_END'}


def write_source(res, symbol, source_name, header_include, exported):
    lines = [f'/* Generated from {source_name}; do not edit. */',
             '#include "lang/langres.h"' if not header_include else f'#include "{header_include}"', '']
    lines.append('static const LumoraStringResource kStrings[] = {')
    for n, (i, text) in sorted(res.strings.items(), key=lambda item: item[1][0]):
        lines.append(f'    {{{i}, {c_string(text, n)}}},')
    lines.append('};')
    lines.append('static const LumoraMenuResource kMenus[] = {')
    for n in res.order['menus']:
        i, entries = res.menus[n]
        for kind, item, item_id, text in entries:
            lines.append(f'    {{{i}, {MENU_KINDS[kind]}, {item_id or 0}, {c_string(text, n)}}},')
    lines.append('};')
    lines.append('static const LumoraDialogResource kDialogs[] = {')
    for n in res.order['dialogs']:
        i, caption, controls, order = res.dialogs[n]
        lines.append(f'    {{{i}, 0, {c_string(caption, n)}}},')
        for c in order:
            ci, text = controls[c]
            lines.append(f'    {{{i}, {ci}, {c_string(text, c)}}},')
    lines.append('};')
    attribute = '__attribute__((visibility("default"))) ' if exported else ''
    count = lambda table: f'(uint32_t)(sizeof {table} / sizeof {table}[0])'
    product = res.header.get('PRODUCT', 'Lumora PC Software')
    lines += [
        f'{attribute}const LumoraResourceTable {symbol} = {{',
        '    sizeof(LumoraResourceTable),',
        '    LUMORA_RESOURCE_FORMAT,',
        f'    {int(res.header["LANGUAGE"])},',
        f'    kStrings, {count("kStrings")},',
        f'    kMenus, {count("kMenus")},',
        f'    kDialogs, {count("kDialogs")},',
        f'    {c_string(res.header["DESCRIPTION"], "DESCRIPTION")},',
        f'    {c_string(res.header["VERSION"], "VERSION")},',
        f'    {c_string(product, "PRODUCT")},',
        f'    {c_string(res.header["VERSION"], "VERSION")},',
        '};', '']
    return '\n'.join(lines)


def write_header(res, symbol, source_name, seen):
    prefix = {'string': '', 'menu': '', 'command': '', 'dialog': '', 'control': ''}
    lines = ['// Generated from ' + source_name + '; do not edit.',
             '// Identifiers of the program\'s texts, menus, commands, dialogs and controls.',
             '#pragma once', '', '#include "lang/langres.h"', '',
             f'extern const LumoraResourceTable {symbol};', '']
    for kind in ('string', 'menu', 'command', 'dialog', 'control'):
        for (k, n), i in sorted(seen.items(), key=lambda item: (item[1], item[0][1])):
            if k == kind:
                lines.append(f'constexpr int k{prefix[kind]}{n} = {i};')
        lines.append('')
    return '\n'.join(lines)


def write_file(path, text):
    with open(path, 'w', encoding='utf-8') as f:
        f.write(text)


def short_name(path):
    """The file's folder and name, as the repository knows it."""
    return '/'.join(path.replace('\\', '/').split('/')[-2:])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--master', required=True)
    parser.add_argument('--translation')
    parser.add_argument('--symbol', required=True)
    parser.add_argument('--source', required=True)
    parser.add_argument('--header')
    parser.add_argument('--exported', action='store_true')
    args = parser.parse_args()
    try:
        master = parse(args.master, True)
        seen = check_ids(master)
        res = merge(master, parse(args.translation, False)) if args.translation else master
        name = args.translation or args.master
        header_include = None
        if args.header:
            write_file(args.header, write_header(master, args.symbol, short_name(args.master), seen))
            header_include = 'client/' + args.header.replace('\\', '/').split('/')[-1]
        write_file(args.source, write_source(res, args.symbol, short_name(name), header_include,
                                                   args.exported))
    except Error as error:
        print(f'uitextgen: {error}', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
