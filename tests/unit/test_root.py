# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The last lines of a failed build's log, as the release shows them: what
the build printed never acts on the terminal that reads it."""

import os
import sys
import unittest

sys.dont_write_bytecode = True  # nothing is left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
from documents import root  # noqa: E402

ESC, BEL = "\x1b", "\x07"


def log(*lines):
    return "".join(line + "\n" for line in lines).encode()


class ShownTail(unittest.TestCase):
    def test_a_build_that_sets_the_title_and_hides_what_follows_is_shown_inert(self):
        shown = root.shown_tail(log(
            "cmake: configuring",
            "scripts/rebuild: every file of out is what its source and buildinfo build",
            f"{ESC}]0;sigsend: released{BEL}{ESC}[8mthe real error, hidden",
            f"{ESC}[2K{ESC}[1A\rerased the line above"))
        for byte in (ESC, BEL, "\r"):
            self.assertNotIn(byte, shown)
        self.assertIn("\\x1b]0;sigsend: released\\x07\\x1b[8mthe real error, hidden", shown)
        self.assertIn("erased the line above", shown)

    def test_only_the_last_25_lines_each_on_its_own_line(self):
        shown = root.shown_tail(log(*(f"line {number}" for number in range(1, 41))))
        self.assertEqual(shown.splitlines(), [f"line {number}" for number in range(16, 41)])

    def test_invisible_characters_and_bytes_that_are_no_utf8_are_shown_not_kept(self):
        shown = root.shown_tail("a\u202eb\u2028c\n".encode() + b"\xff\xfe\x9b[8m\n")
        for character in ("\u202e", "\u2028", "\x9b"):
            self.assertNotIn(character, shown)
        self.assertEqual(len(shown.splitlines()), 2)


if __name__ == "__main__":
    unittest.main()
