# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""A release compared with its rebuild: each file that SHA256SUMS lists is
"same", "DIFFERS" (with diffoscope's first lines) or on one side only;
anything else in either folder is named, inert, never compared."""
import filecmp, os, shutil, subprocess
from documents import base, sums


def regular(folder, names):
    """Refuses a listed file of FOLDER that is there but no regular file."""
    for name in names:
        if os.path.lexists(os.path.join(folder, name)):
            try:
                os.close(sums.open_file(folder, name))
            except ValueError as error:
                raise base.Refusal(str(error)) from None


def excerpt(one, other):
    if not shutil.which("diffoscope"):
        return []
    done = subprocess.run(["diffoscope", "--text", "-", "--", one, other], capture_output=True, env=base.ENV)
    return base.inert(done.stdout + done.stderr).splitlines()[:60]


def compare(names, release, rebuilt, source):
    """The lines that say how RELEASE (the checked copies) and REBUILT hold
    NAMES, and what else REBUILT and SOURCE (the folder as given) hold; and
    whether anything differs."""
    lines, differ = [], False
    for name in names:
        here, there = (os.path.exists(os.path.join(folder, name)) for folder in (release, rebuilt))
        a, b = os.path.join(release, name), os.path.join(rebuilt, name)
        if here and there and filecmp.cmp(a, b, shallow=False):
            lines.append(f"same     {name}")
            continue
        differ = True
        if here and there:
            lines += [f"DIFFERS  {name}", *excerpt(a, b)]
        elif here or there:
            lines.append(("only in the release: " if here else "only in the rebuild: ") + name)
        else:
            lines.append(f"in neither: {name}")
    listed = set(names)
    for name in sorted(os.listdir(rebuilt), key=os.fsencode):
        if name not in listed and not (name.endswith(".asc") and name[:-4] in listed):
            lines.append(f"only in the rebuild: {base.quoted(name)}")
            differ = True
    for name in sorted(os.listdir(source), key=os.fsencode):
        if name in listed:
            continue
        lines.append(f"signature, not rebuilt: {name}" if name.endswith(".asc") and name[:-4] in listed
                     else f"not part of the release: {base.quoted(name)}")
    return lines, differ
