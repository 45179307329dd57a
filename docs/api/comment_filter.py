#!/usr/bin/env python3
"""Doxygen input filter for the public headers.

The headers carry plain one-line `//` comments. Run by Doxygen on every header, this filter turns
them into documentation without moving any line:
  - the comment block at the top of a file documents the file;
  - a comment block directly above a declaration documents it (`///`), and also the declarations
    right after it that have no comment of their own, up to a blank line (in a class) or up to
    the first one with a comment of its own (between free functions);
  - `int a = 1, b = 2;` is shown to Doxygen as one declaration each, so each gets the comment;
  - a comment after a declaration on its line documents it (`///<`), and also the lines right
    below it that declare the same family of names (CurrentGraphicsWidth, ...Height, ...Depth);
  - what is still undocumented below a section ruler (`// --- Drivers ---`) gets the ruler's
    title, as a member of a named group would;
  - comments followed by a blank line stay plain.
Usage: comment_filter.py HEADER  (writes the filtered header to standard output)
"""
import re
import sys

COMMENT = re.compile(r'^(\s*)//(?!/)\s?(.*)$')
RULER = re.compile(r'^\s*//\s*-{2,}')
NOT_A_DECLARATION = re.compile(r'^\s*(#|}|{|public:|protected:|private:|namespace\b|$)')
NAME = re.compile(r'([A-Za-z_][A-Za-z0-9_]*)\s*(\(|=|;|\{|\[|$)')


def split_comment(line):
    """(code, comment text) for `code  // text` outside literals; None when the line has none."""
    quote = None
    i = 0
    while i < len(line) - 1:
        c = line[i]
        if quote:
            if c == '\\':
                i += 2
                continue
            if c == quote:
                quote = None
        elif c in '"\'':
            quote = c
        elif line.startswith('//', i):
            if line.startswith('///', i) or not line[:i].strip():
                return None
            return line[:i], line[i + 2:].strip()
        i += 1
    return None


def code_of(line):
    split = split_comment(line)
    return split[0] if split else line


def braces(code):
    code = re.sub(r'"(\\.|[^"\\])*"|\'(\\.|[^\'\\])*\'', '', code)
    return code.count('{') - code.count('}')


def declared_name(code):
    code = re.sub(r'\boperator\s*\S+', 'operator', code)
    match = NAME.search(code)
    return match.group(1) if match else ''


def same_family(a, b):
    """CurrentGraphicsWidth and CurrentGraphicsHeight: a shared stem, then a different word."""
    common = 0
    while common < min(len(a), len(b)) and a[common] == b[common]:
        common += 1
    if not (a[common:common + 1].isupper() and b[common:common + 1].isupper()):
        return False  # GraphicsModes and GraphicsModeCount part inside a word
    stem = a[:common]
    # A verb alone (ReadByte, ReadInt) is no family; a longer stem (MousePosX, MousePosY) is.
    return len(stem) >= 8 and any(c.islower() for c in stem)


MULTI = re.compile(r'^(\s*)((?:constexpr\s+|static\s+)?[\w:]+)\s+'
                   r'(\w+\s*(?:=\s*[^,;(){}]+)?(?:,\s*\w+\s*(?:=\s*[^,;(){}]+)?)+);\s*$')


def one_per_declaration(code, doc):
    """`int a = 1, b = 2;  // doc` as Doxygen sees it: one declaration each, each with the doc."""
    m = MULTI.match(code)
    if not m or m.group(2) in ('return', 'using', 'typedef'):
        return None
    parts = [p.strip() for p in m.group(3).split(',')]
    return m.group(1) + ' '.join('%s %s; /**< %s */' % (m.group(2), p, doc) for p in parts)


class Scope:
    """What can document the next declaration at one brace depth."""

    def __init__(self):
        self.title = None      # the last ruler's title
        self.block = None      # the comment block right above, while the run it heads lasts
        self.trailing = None   # (name, text) of the declaration just above, documented on its line
        # In a class a comment above a run of members (up to a blank line) speaks for all of them;
        # between free functions it stops at the first one with a comment of its own.
        self.in_class = False


def filtered(lines):
    lines = [l.rstrip('\n') for l in lines]
    out = list(lines)
    scopes = [Scope()]
    seen_code = False
    decl_start = None   # first line of the declaration being read
    decl_documented = False
    i = 0
    n = len(lines)
    while i < n:
        line = lines[i]
        scope = scopes[-1]
        if RULER.match(line):
            title = re.sub(r'^\s*//\s*-+\s*|\s*-+\s*$', '', line)
            scope.title = title or None
            scope.block = scope.trailing = None
            i += 1
            continue
        if COMMENT.match(line):
            start = i
            while i < n and COMMENT.match(lines[i]) and not RULER.match(lines[i]):
                i += 1
            follows = lines[i] if i < n else ''
            text = ' '.join(COMMENT.match(lines[k]).group(2).strip() for k in range(start, i))
            if not seen_code:
                # The file's own description; \file at its end makes the block the file's.
                for k in range(start, i):
                    out[k] = COMMENT.sub(r'\1/// \2', lines[k])
                out[i - 1] += ' \\file'
                seen_code = True
            elif follows.strip() and not COMMENT.match(follows) and not NOT_A_DECLARATION.match(follows):
                for k in range(start, i):
                    out[k] = COMMENT.sub(r'\1/// \2', lines[k])
                scope.block = ('first', text)
                scope.trailing = None
            continue
        if not line.strip():
            scope.block = scope.trailing = None
            i += 1
            continue

        seen_code = True
        split = split_comment(line)
        code = split[0] if split else line
        if split and not NOT_A_DECLARATION.match(code):
            if re.match(r'\s*(template\s*<.*>\s*)?(class|struct|union|enum)\b', code) and '{' in code:
                # `class X {  // text`, `enum class E { A, B };  // text`: a trailing comment cannot
                # document the type; a leading one can.
                indent = code[:len(code) - len(code.lstrip())]
                out[i] = indent + '/** ' + split[1] + ' */ ' + code.strip()
            else:
                out[i] = one_per_declaration(code.rstrip(), split[1]) or code + '///< ' + split[1]
        if decl_start is None and not NOT_A_DECLARATION.match(code):
            decl_start = i
            decl_documented = False
        if decl_start is not None:
            decl_documented = decl_documented or (split is not None)
        depth_change = braces(code)
        ends = code.rstrip().endswith((';', '}', '{', ':')) or depth_change > 0
        if decl_start is not None and ends:
            name = declared_name(code_of(lines[decl_start]))
            if decl_documented:
                scope.trailing = (name, split[1]) if split else None
                if scope.block and scope.block[0] == 'first':
                    scope.block = ('first-used', scope.block[1])
                elif not scope.in_class:
                    scope.block = None
            else:
                doc = None
                if scope.trailing and same_family(scope.trailing[0], name):
                    doc = scope.trailing[1]
                    if scope.block:
                        scope.block = ('shared', scope.block[1])
                elif scope.block:
                    doc = None if scope.block[0] == 'first' else scope.block[1]
                    scope.block = ('shared', scope.block[1])
                    scope.trailing = None
                else:
                    scope.trailing = None
                    doc = scope.title
                if doc:
                    out[i] = one_per_declaration(out[i], doc) or out[i] + '  ///< ' + doc
            decl_start = None
        # Enter and leave class, struct and namespace bodies.
        for _ in range(max(depth_change, 0)):
            scopes.append(Scope())
            scopes[-1].in_class = bool(re.match(r'\s*(template\s*<.*>\s*)?(class|struct|union)\b', code))
        for _ in range(max(-depth_change, 0)):
            if len(scopes) > 1:
                scopes.pop()
        if code.strip().startswith('}') and depth_change == 0 and len(scopes) > 1:
            # `} foo;` or `};` after a one-line opening: nothing to do, depth already balanced.
            pass
        i += 1
    return [l + '\n' for l in out]


def main():
    with open(sys.argv[1], encoding='utf-8') as f:
        sys.stdout.write(''.join(filtered(f.readlines())))


if __name__ == '__main__':
    main()
