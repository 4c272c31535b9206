# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The works that a static sigsend links besides its own code: which files
the linker took (its map), who supplied each (the package that owns it, or
the files that scripts/from-source lays beside a build from source), and what
each work is and under which licences, from its copyright file."""
import gzip, os, re, subprocess
from documents import licences


def taken(linker_map):
    """Each file that a GNU ld map says the link took and that is not
    sigsend's own (which the build names by relative paths): [(file,
    member)], member "" for an object loaded whole."""
    found = []
    for line in linker_map.splitlines():
        member = re.fullmatch(r"(/[^(]*\.a)\(([^)]*)\)", line)
        loaded = re.fullmatch(r"LOAD (/.*\.o)", line)
        if member:
            found.append(member.groups())
        elif loaded:
            found.append((loaded.group(1), ""))
    return found


def purl(os_id, name, version, qualifiers):
    return "pkg:deb/%s/%s@%s?%s" % (os_id, name, version.replace("+", "%2B"),
                                    "&".join(f"{k}={v}" for k, v in qualifiers))


def supplied(owner, os_release):
    """What the owner of a file says of the work, as a dict. OWNER is
    {"package", "source", "version", "architecture", "homepage"} for a
    package that dpkg knows, or {"source", "version", "dir"} for a build from
    source; os_release has ID, VERSION_ID and NAME."""
    os_id = os_release["ID"]
    distro = os_id + ("-" + os_release["VERSION_ID"] if os_release.get("VERSION_ID") else "")
    if "package" in owner:
        name = owner["package"].split(":")[0]
        doc = f"/usr/share/doc/{name}"
        return {"source": owner["source"], "version": owner["version"], "package": owner["package"],
                "copyright": f"{doc}/copyright", "changelog": f"{doc}/changelog.Debian.gz",
                "purl": purl(os_id, name, owner["version"], [
                    ("arch", owner["architecture"]), ("distro", distro), ("upstream", owner["source"])]),
                "supplier": "Organization: " + os_release["NAME"], "homepage": owner["homepage"]}
    return {"source": owner["source"], "version": owner["version"],
            "package": "%s %s, built from source" % (owner["source"], owner["version"]),
            "copyright": owner["dir"] + "/copyright", "changelog": owner["dir"] + "/changelog.Debian.gz",
            "purl": purl(os_id, owner["source"], owner["version"], [("arch", "source"), ("distro", distro)]),
            "supplier": "Organization: The sigsend developers", "homepage": ""}


def works(files, owner_of):
    """The works that FILES ([(path, member)], paths resolved) come from, in
    the order first met: each what supplied() says, with "dir", the folder of
    its first file, and "members", [(name, kind)] in the map's order."""
    found = {}
    for path, member in files:
        work = owner_of(path)
        if work["source"] not in found:
            found[work["source"]] = dict(work, dir=os.path.dirname(path), members=[])
        name = os.path.basename(path) + (f"({member})" if member else "")
        found[work["source"]]["members"].append((name, "src" if member else "crt"))
    return list(found.values())


def sed_ranges(text, start, end):
    """The lines from each line matching START to the next matching END, as
    sed -n '/START/,/END/p' prints them, without trailing newlines."""
    out, inside = [], False
    for line in text.split("\n"):
        if inside:
            out.append(line)
            inside = not re.search(end, line)
        elif re.search(start, line):
            out.append(line)
            inside = True
    return "\n".join(out).rstrip("\n")


def first_copyright(text):
    """The holders that a copyright file's first Copyright field names, one a line."""
    found = re.search(r"^Copyright:[ \t]*([^\n]*(\n[ \t][^\n]*)*)", text, re.M)
    if not found:
        return ""
    return "\n".join(line.lstrip(" \t") for line in found.group(1).split("\n")).rstrip("\n")


def musl(work, text):
    """musl's facts, from its copyright file TEXT: each member's licence
    from the stanza that covers the file it was built from, for musl's name
    of the architecture (arm, x86_64, powerpc64), which names its folder."""
    arch = os.path.basename(work["dir"]).split("-")[0]
    arch = arch[:-2] if arch.endswith("le") else arch
    covered = licences.covering(text, work["members"], arch)
    terms = [group["license"] for group in covered if group["license"] != "public-domain"]
    spdx = [licences.spdx(group["license"]) for group in covered]
    upstream = re.sub(r"-[^-]*$", "", work["version"].split(":", 1)[-1])
    made = first_copyright(text)
    if not made:
        raise ValueError(f"{work['copyright']} names no copyright holder")
    said = "; ".join(
        "%s (Files: %s): %s" % (g["license"], " ".join(g["files"]), " ".join(g["members"]))
        + (", which stands in no licence expression: the public domain is no licence"
           if g["license"] == "public-domain" else "") for g in covered) + "."
    shared = sorted({name for g in covered for name in g["shared"]})
    if shared:
        said += (" Of " + " ".join(shared) + " the stripped archive does not say which of the files"
                 " that could have built it did, so the licences of all of them are taken.")
    text = text.rstrip("\n")
    return {"name": "musl", "version": work["version"], "upstream": upstream,
            "originator": "Organization: musl",
            "cpe": f"cpe:2.3:a:musl-libc:musl:{upstream}:*:*:*:*:*:*:*",
            "spdx": [s for s in spdx if s], "debian": terms,
            "standalone": [licences.licence_paragraph(text, t) for t in terms if t != "MIT"],
            "made": made, "said": ". By its copyright file: " + said,
            "notice": "musl, the C library, under the licences that its copyright file gives:\n\n" + text,
            "embedded": "musl's copyright file, as its package ships it:\n\n" + text,
            "summary": "musl " + work["version"]}


def gcc_runtime(work, text, gcc, gpl):
    """GCC's runtime's facts, from the copyright file TEXT of Debian's GCC,
    the compiler's version GCC and the text of the GPL version 3."""
    fsf = sed_ranges(text, r"^GCC is Copyright", r"^$")
    exception = sed_ranges(text, r"^GCC RUNTIME LIBRARY EXCEPTION$",
                           r"requirements of the license of GCC\.$")
    if not fsf or not exception:
        raise ValueError(f"the GCC runtime's notice or exception is not in {work['copyright']}")
    made = fsf.removeprefix("GCC is Copyright (C) ").replace("\n", " ").rstrip(" ")
    term = "GPL-3+ with GCC-exception-3.1 exception"
    return {"name": "gcc-runtime", "version": gcc, "upstream": gcc,
            "originator": "Organization: GNU Project",
            "cpe": f"cpe:2.3:a:gnu:gcc:{gcc}:*:*:*:*:*:*:*",
            "spdx": [licences.spdx(term)], "debian": [term], "standalone": [],
            "fsf": fsf, "exception": exception, "made": made, "said": "",
            "notice": "GCC's runtime (libgcc and the crt*.o start files), under the GNU General Public\n"
                      "License version 3 or later with the GCC Runtime Library Exception 3.1,\n"
                      "as the copyright file of Debian's GCC gives them:\n\n"
                      + fsf + "\n\n" + exception + "\n\n" + gpl.rstrip("\n"),
            "embedded": "", "summary": f"GCC {gcc}'s runtime"}


def describe(work, copyright_text, gcc, gpl):
    """A work's facts for the notices and the SBOM: work's own, plus name,
    upstream, originator, cpe, its licences in SPDX's terms and Debian's,
    made (its holders), the comment that says what was linked, and its
    notice."""
    if work["source"] == "musl":
        facts = musl(work, copyright_text)
    elif re.fullmatch(r"gcc-[0-9].*", work["source"]):
        facts = gcc_runtime(work, copyright_text, gcc, gpl)
    else:
        raise ValueError(f"the linker took code of {work['source']}, whose licence sigsend does not know")
    linked = "Linked statically from %s: %s" % (work["package"], " ".join(n for n, _ in work["members"]))
    return dict(work, packaged=work["version"], **dict(facts, comment=linked + facts.pop("said")))


def dpkg_owner(path):
    """What dpkg says of the package that owns PATH, or, where none does,
    the file `source` beside it; None where neither says."""
    owner = subprocess.run(["dpkg-query", "-S", path], capture_output=True, text=True)
    if owner.returncode == 0:
        package = owner.stdout.split(": ", 1)[0].split(",")[0]
        fields = subprocess.run(["dpkg-query", "-W", "-f=${source:Package}|${Version}|${Architecture}|"
                                 "${Homepage}\n", package], capture_output=True, text=True, check=True)
        source, version, architecture, homepage = fields.stdout.rstrip("\n").split("|")
        return {"package": package, "source": source, "version": version,
                "architecture": architecture, "homepage": homepage}
    beside = os.path.join(os.path.dirname(path), "source")
    if os.path.exists(beside):
        source, version = open(beside).read().split()[:2]
        return {"source": source, "version": version, "dir": os.path.dirname(path)}
    raise ValueError(f"no package owns {path}, and no file 'source' lies beside it")


def changelog_names(path):
    """The advisories (CVE ids) that a gzipped changelog names, none where it is missing."""
    if not os.access(path, os.R_OK):
        return []
    with gzip.open(path, "rt", errors="replace") as f:
        return sorted(set(re.findall(r"CVE-[0-9]+-[0-9]+", f.read())))
