# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Which licences of a Debian machine-readable copyright file ($text) cover the
# files that the linker took from that work ($members: [{name, kind}], kind
# "src" for an archive member NAME.lo, "crt" for a start file NAME.o), built
# for musl's architecture $arch. A stripped archive does not say which source
# file a member came from, only its name: each member stands for every file
# that could have built it (the generic C file, or the architecture's own C or
# assembly), in any folder that a Files: pattern names, and takes the licence
# of the last stanza that matches each. Prints, in the file's stanza order,
# [{license, members: [name], files: [pattern], shared: [name]}], where
# shared lists the members that other candidates give other licences.
def glob: "^" + (gsub("(?<c>[.+^$(){}|\\[\\]\\\\])"; "\\\(.c)") | gsub("\\*"; ".*") | gsub("\\?"; ".")) + "$";
def value($field): (capture("(^|\n)" + $field + ":(?<v>[^\n]*(\n[ \t][^\n]*)*)") // {v: ""}).v;
[$text | splits("\n[ \t]*\n") | select(test("(^|\n)Files:"))
 | {patterns: [value("Files") | splits("[ \t\n]+") | select(. != "")],
    license: (value("License") | split("\n")[0] | sub("^[ \t]+"; "") | sub("[ \t]+$"; ""))}]
| to_entries | map(.value + {index: .key}) as $stanzas
| ([$stanzas[].patterns[] | select(startswith("src/")) | split("/")[1] | select(test("[*?]") | not)]
   + ["-"] | unique) as $dirs
| def candidates: (.name | sub("^.*\\("; "") | sub("\\.(lo|o)\\)?$"; "")) as $n
    | if .kind == "src" then [$dirs[] as $d | "src/\($d)/\($n).c", ("c", "s", "S" | "src/\($d)/\($arch)/\($n).\(.)")]
      else ["crt/\($n).c"] + ["c", "s", "S" | "crt/\($arch)/\($n).\(.)"] end;
  def covering: . as $path | [$stanzas[] | . as $s | .patterns[] | select(. as $g | $path | test($g | glob))
    | {index: $s.index, license: $s.license, pattern: .}] | last;
  [$members[] | .name as $name | [candidates[] | covering] | unique_by(.index)
   | {name: $name, hits: ., licenses: (map(.license) | unique)}] as $resolved
| [$resolved[] | .name as $name | .licenses as $all | .hits[] | . + {name: $name, shared: ($all | length > 1)}]
| group_by(.license) | map({license: .[0].license, index: (map(.index) | min),
    members: (map(.name) | unique), files: (map(.pattern) | unique),
    shared: (map(select(.shared) | .name) | unique)})
| sort_by(.index) | map(del(.index))
