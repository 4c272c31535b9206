# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""What the documents say that a table of the tree also says is what the
table says."""
import os, re, sys, unittest

sys.dont_write_bytecode = True
TOP = os.path.join(os.path.dirname(__file__), "..", "..")
sys.path.insert(0, os.path.join(TOP, "scripts"))
from documents import architectures  # noqa: E402


class Docs(unittest.TestCase):
    def test_the_architecture_table_of_docs_releases_is_cmake_architectures_txt(self):
        with open(os.path.join(TOP, "docs", "releases.md"), encoding="utf-8") as file:
            shown = re.findall(r"^\| (\S+) \| `linux-(\S+)` \| (\S+) \| linux/(\S+) \|$", file.read(), re.M)
        rows = architectures.read(os.path.join(TOP, "cmake", "architectures.txt"))
        self.assertEqual(shown, [(r["debian"], r["platform"], r["rpm"], r["platform"].replace("-", "/"))
                                 for r in rows])


if __name__ == "__main__":
    unittest.main()
