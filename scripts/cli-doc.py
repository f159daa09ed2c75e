#!/usr/bin/python3
"""docs/cli.md from `tessera --json-usage`: one section per command with its
arguments and options. `cli-doc.py TESSERA OUT.md` writes it; with --check it
fails (exit 1) when OUT.md differs from what the binary describes."""

import json
import subprocess
import sys


def number(value, kind):
    return str(int(value)) if kind in ("int", "int-list") else ("%g" % value)


def notes(option):
    parts = []
    if option["required"]:
        parts.append("required")
    if option["choices"]:
        parts.append("one of " + ", ".join("`%s`" % c for c in option["choices"]))
    if option["default"] is not None:
        parts.append("default `%s`" % option["default"])
    lo, hi, kind = option["min"], option["max"], option["type"]
    if lo is not None and option["min_excluded"]:
        parts.append("greater than %s" % number(lo, kind))
    elif lo is not None and hi is not None:
        parts.append("%s to %s" % (number(lo, kind), number(hi, kind)))
    elif lo is not None:
        parts.append("at least %s" % number(lo, kind))
    elif hi is not None:
        parts.append("at most %s" % number(hi, kind))
    if option["file"]:
        parts.append("%s %s" % (option["file"]["role"], option["file"]["kind"]))
    return "; ".join(parts)


def option_rows(options):
    rows = ["| option | | |", "|---|---|---|"]
    for o in options:
        name = "`--%s%s`" % (o["name"], "" if o["type"] == "flag" else " " + o["placeholder"])
        rows.append("| %s | %s | %s |" % (name, o["help"].replace("|", "\\|"), notes(o).replace("|", "\\|")))
    return rows


def markdown(usage):
    lines = ["# The `tessera` command line", "",
             "Generated from `tessera --json-usage` (version %s) by scripts/cli-doc.py; "
             "`make test` checks that it is current." % usage["version"], ""]
    for c in usage["commands"]:
        lines += ["## tessera %s" % c["name"], "", c["summary"], "", "```", c["usage"], "```", ""]
        if c["arguments"]:
            lines += ["| argument | | |", "|---|---|---|"]
            for a in c["arguments"]:
                kind = "%s %s" % (a["file"]["role"], a["file"]["kind"]) if a["file"] else ""
                lines.append("| `%s` | %s | %s |" % (a["name"], a["help"], "; ".join(
                    p for p in ("" if a["required"] else "optional", kind) if p)))
            lines.append("")
        lines += option_rows(c["options"]) + [""]
        for g in c["groups"]:
            if g["options"]:
                lines += ["With `--%s %s` (%s):" % (c["selector"], g["value"], g["summary"]), ""]
                lines += option_rows(g["options"]) + [""]
        if c["details"]:
            lines += ["```", c["details"].rstrip("\n"), "```", ""]
    return "\n".join(lines)


def main(argv):
    check = argv[1:2] == ["--check"]
    binary, target = argv[-2], argv[-1]
    usage = json.loads(subprocess.run([binary, "--json-usage"], capture_output=True, text=True, check=True).stdout)
    text = markdown(usage)
    if check:
        current = open(target, encoding="utf-8").read() if __import__("os").path.exists(target) else ""
        if current != text:
            print("%s is stale: run scripts/cli-doc.py %s %s" % (target, binary, target))
            return 1
        return 0
    with open(target, "w", encoding="utf-8") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
