#!/usr/bin/env python3
"""User text lives in res/: no CJK text in a product source (scripts and JSON too) outside res/
(comments aside), every string id the header names has its text in the table and the other way
round, and every locale of the extension has the keys of zh_TW.

Usage: user_text_scan.py [REPO]   (REPO defaults to the repository holding this script)
Exit 0 when clean; 1 with one line per finding on stdout.
"""
import json
import pathlib
import re
import sys

SOURCE_SUFFIXES = {".c", ".cc", ".cpp", ".h", ".hpp", ".in", ".js", ".json", ".html"}
# Folders that are not the product: tests, benchmarks, fuzz targets, sample pages, build trees.
NOT_PRODUCT = {"res", "tests", "bench", "fuzz", "samples", "packaging", ".git"}
# Characters that are data, not text (line-breaking classes, a glyph to measure) carry this
# comment on their line.
GLYPHS_MARK = "// glyphs, not text"
# Files whose texts move together with the rewrite they are part of. An entry whose file has
# no CJK text left is reported, so the list cannot outlive its reason.
PENDING: set[str] = set()

CJK = re.compile("[\u2e80-\u9fff\u3000-\u303f\uf900-\ufaff\ufe30-\ufe4f\uff00-\uffef]")


def strip_comments(text):
    """The text with comments blanked out (line breaks kept); literals are left whole."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("\n" * text.count("\n", i, j))
            i = j
        elif c == "R" and re.match(r'R"([^()\\ ]{0,16})\(', text[i:]):
            m = re.match(r'R"([^()\\ ]{0,16})\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i + m.end())
            end = n if end < 0 else end + len(m.group(1)) + 2
            out.append(text[i:end])
            i = end
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(text[i : j + 1])
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def cjk_lines(path):
    raw = path.read_text(encoding="utf-8", errors="replace")
    marked = {no for no, line in enumerate(raw.split("\n"), 1) if line.rstrip().endswith(GLYPHS_MARK)}
    found = []
    for no, line in enumerate(strip_comments(raw).split("\n"), 1):
        if no not in marked and CJK.search(line):
            found.append((no, line.strip()))
    return found


def product_sources(repo):
    for path in sorted(repo.rglob("*")):
        rel = path.relative_to(repo)
        if rel.parts[0] in NOT_PRODUCT or rel.parts[0].startswith("build"):
            continue
        if path.is_file() and path.suffix in SOURCE_SUFFIXES:
            yield rel, path


def id_findings(repo):
    header = (repo / "res/strings.h").read_text(encoding="utf-8")
    table = (repo / "res/strings.cpp").read_text(encoding="utf-8")
    named = {int(v): k for k, v in re.findall(r"constexpr unsigned (\w+) = (\d+);", header)}
    entries = [int(v) for v in re.findall(r"^\s*\{(\d+), \"", table, re.M)]
    findings = []
    for id_ in sorted(set(entries)):
        if entries.count(id_) > 1:
            findings.append(f"res/strings.cpp: id {id_} has {entries.count(id_)} texts")
    for id_, name in sorted(named.items()):
        if id_ not in entries:
            findings.append(f"res/strings.h: {name} ({id_}) has no text in the table")
    for id_ in sorted(set(entries) - named.keys()):
        findings.append(f"res/strings.cpp: id {id_} has no named constant in res/strings.h")
    return findings


def main():
    repo = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
    findings = []
    for rel, path in product_sources(repo):
        lines = cjk_lines(path)
        if rel.as_posix() in PENDING:
            if not lines:
                findings.append(f"{rel}: no user text left; drop it from PENDING")
            continue
        findings += [f"{rel}:{no}: user text outside res/: {line}" for no, line in lines]
    for rel in sorted(PENDING):
        if not (repo / rel).exists():
            findings.append(f"{rel}: gone; drop it from PENDING")
    findings += id_findings(repo)
    locales = repo / "res/webextension/_locales"
    keys = {d.name: set(json.loads((d / "messages.json").read_text(encoding="utf-8"))) for d in locales.iterdir()}
    findings += [f"res/webextension/_locales/{name}: keys differ from zh_TW: {sorted(k ^ keys['zh_TW'])}"
                 for name, k in keys.items() if k != keys["zh_TW"]]
    for f in findings:
        print(f)
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
