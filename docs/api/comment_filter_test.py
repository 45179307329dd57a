#!/usr/bin/env python3
"""Checks of the Doxygen comment filter: what becomes documentation, what stays plain, and that
no line moves (Doxygen's warnings point at the header's own lines)."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from comment_filter import filtered  # noqa: E402


def run(text, whole_file=False):
    """The filtered lines of text; line 0 is the blank one after the opening quotes. Unless
    whole_file, the text follows a file comment and #pragma once, as in a header."""
    preamble = [] if whole_file else ['// The file.', '#pragma once']
    lines = preamble + text.rstrip('\n').split('\n')
    out = [l.rstrip('\n') for l in filtered([l + '\n' for l in lines])]
    assert len(out) == len(lines), 'the filter moved lines'
    return out[len(preamble):]


class FileAndBlockComments(unittest.TestCase):
    def test_top_block_documents_the_file_and_a_loose_comment_stays_plain(self):
        out = run('''
// What the file holds.
// Second line.
#pragma once

// A note about what follows, not a declaration's.

void F();  // does F
''', whole_file=True)
        self.assertEqual(out[1], '/// What the file holds.')
        self.assertEqual(out[2], '/// Second line. \\file')
        self.assertEqual(out[5], '// A note about what follows, not a declaration\'s.')
        self.assertEqual(out[7], 'void F();  ///< does F')

    def test_block_above_free_functions_stops_at_one_with_its_own_comment(self):
        out = run('''
// x
void A();
void B();
void C();  // own
void D();
''')
        self.assertEqual(out[1], '/// x')
        self.assertEqual(out[2], 'void A();')
        self.assertEqual(out[3], 'void B();  ///< x')
        self.assertEqual(out[4], 'void C();  ///< own')
        self.assertEqual(out[5], 'void D();', 'C\'s comment is not D\'s, and the block stopped at C')

    def test_block_in_a_class_speaks_for_its_run_of_members(self):
        out = run('''
// x
class S {
public:
    // Typed reads.
    int ReadByte();  // 0..255
    int ReadInt();

    int Other();
};
''')
        self.assertEqual(out[5], '    int ReadByte();  ///< 0..255')
        self.assertEqual(out[6], '    int ReadInt();  ///< Typed reads.')
        self.assertEqual(out[8], '    int Other();', 'a blank line ends the run')


class TrailingComments(unittest.TestCase):
    def test_slashes_inside_literals_are_not_comments(self):
        out = run('''
// x
void F(const char* s = "http://host");
const char* u = "a//b";  // a URL
''')
        self.assertEqual(out[2], 'void F(const char* s = "http://host");')
        self.assertEqual(out[3], 'const char* u = "a//b";  ///< a URL')

    def test_a_family_shares_the_comment_and_a_stranger_does_not(self):
        out = run('''
// x
int CurrentGraphicsWidth();  // of the current graphics
int CurrentGraphicsHeight();
int GraphicsModes();  // a new array
int GraphicsModeCount();
''')
        self.assertEqual(out[3], 'int CurrentGraphicsHeight();  ///< of the current graphics')
        self.assertEqual(out[5], 'int GraphicsModeCount();')

    def test_several_declarators_each_get_the_comment(self):
        out = run('''
// x
struct P {
    int x = 0, y = 0;  // in pixels
};
''')
        self.assertEqual(out[3], '    int x = 0; /**< in pixels */ int y = 0; /**< in pixels */')

    def test_a_class_line_takes_its_comment_in_front(self):
        out = run('''
// x
class E : public B {  // "Error reading"
};
''')
        self.assertEqual(out[2], '/** "Error reading" */ class E : public B {')

    def test_a_one_line_enum_takes_its_comment_in_front(self):
        out = run('''
enum class E { A, B };  // the kinds
''')
        self.assertEqual(out[1], '/** the kinds */ enum class E { A, B };')

    def test_closing_braces_and_preprocessor_lines_keep_plain_comments(self):
        out = run('''
// x
namespace n {
}  // namespace n
''')
        self.assertEqual(out[3], '}  // namespace n')


class Rulers(unittest.TestCase):
    def test_ruler_title_covers_what_has_no_comment_below_it(self):
        out = run('''
// x
// ---- Navigation keys
constexpr int KEY_UP = 38;
constexpr int KEY_DOWN = 40;  // the down arrow
constexpr int KEY_0 = 48, KEY_1 = 49;
''')
        self.assertEqual(out[2], '// ---- Navigation keys')
        self.assertEqual(out[3], 'constexpr int KEY_UP = 38;  ///< Navigation keys')
        self.assertEqual(out[4], 'constexpr int KEY_DOWN = 40;  ///< the down arrow')
        self.assertEqual(out[5], 'constexpr int KEY_0 = 48; /**< Navigation keys */ '
                                 'constexpr int KEY_1 = 49; /**< Navigation keys */')


if __name__ == '__main__':
    unittest.main()
