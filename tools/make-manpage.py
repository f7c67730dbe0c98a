#!/usr/bin/env python3
"""Writes a program's manual page from its own --help text, so that the page and the help never differ.

The help text's layout (see app/CommandLine.h): a "Usage:" line, paragraphs, then sections whose title
ends in ':' at the start of a line, each entry indented by two spaces with its term and its text apart by
two or more spaces. With --commands, every entry of the "Commands:" section names a command whose own
`PROGRAM COMMAND --help` becomes a subsection, so a command added to the program is in the next page.
"""
import argparse
import datetime
import email.utils
import gzip
import os
import re
import subprocess
import sys

SECTION = re.compile(r"^([A-Z][A-Za-z ]*):$")
ENTRY = re.compile(r"^  (\S.*?)(?: {2,}(\S.*))?$")


def run(program, *args):
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    done = subprocess.run([program, *args], capture_output=True, text=True, env=env, check=False)
    if done.returncode != 0:
        sys.exit(f"make-manpage: {program} {' '.join(args)} exited with {done.returncode}: {done.stderr}")
    return done.stdout


def parse(text):
    """(synopsis, description paragraphs, [(section, entries, trailing paragraphs)])."""
    lines = text.rstrip("\n").split("\n")
    if not lines or not lines[0].startswith("Usage: "):
        sys.exit("make-manpage: the help text does not start with 'Usage: '")
    synopsis = lines[0][len("Usage: "):]
    description, sections = [], []
    paragraph = []
    current = None

    def flush():
        if paragraph:
            (current[2] if current else description).append(" ".join(paragraph))
            paragraph.clear()

    for line in lines[1:]:
        heading = SECTION.match(line)
        entry = ENTRY.match(line)
        if heading:
            flush()
            current = (heading.group(1), [], [])
            sections.append(current)
        elif not line.strip():
            flush()
        elif entry and not paragraph:
            if current is None:
                # Entries before any section title: the options of a command's own help.
                current = ("", [], [])
                sections.append(current)
            current[1].append((entry.group(1), entry.group(2) or ""))
        else:
            paragraph.append(line.strip())
    flush()
    return synopsis, description, sections


def escape(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    # A line starting with . or ' would be a request.
    return re.sub(r"^([.'])", r"\\&\1", text)


def inline_markdown(text):
    text = escape(text)
    text = re.sub(r"\*\*(.+?)\*\*", r"\\fB\1\\fR", text)
    text = re.sub(r"`(.+?)`", r"\\fB\1\\fR", text)
    return text


def markdown_to_roff(markdown):
    """The manual's small Markdown: ### headings, paragraphs and '- ' lists."""
    out, paragraph, item = [], [], None

    def flush():
        nonlocal item
        if item is not None:
            out.append(".IP \\(bu 2")
            out.append(inline_markdown(" ".join(item)))
            item = None
        if paragraph:
            out.append(".PP")
            out.append(inline_markdown(" ".join(paragraph)))
            paragraph.clear()

    for line in markdown.split("\n"):
        if line.startswith("#"):
            flush()
            out.append(".SS " + escape(line.lstrip("#").strip()))
        elif line.startswith("- "):
            flush()
            item = [line[2:].strip()]
        elif not line.strip():
            flush()
        elif item is not None:
            item.append(line.strip())
        else:
            paragraph.append(line.strip())
    flush()
    return out


def entries_to_roff(entries, bold_terms=True):
    out = []
    for term, text in entries:
        out.append(".TP")
        out.append(("\\fB%s\\fR" if bold_terms else "%s") % escape(term))
        out.append(escape(text) if text else "\\&")
    return out


def changelog_date(path):
    """The day of the first trailer line (" -- Name <mail>  Tue, 08 Dec 2026 12:00:00 +0000")."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith(" -- ") and "  " in line[4:]:
                stamp = line[4:].split("  ", 1)[1].strip()
                return email.utils.parsedate_to_datetime(stamp).strftime("%Y-%m-%d")
    sys.exit("no dated entry in %s" % path)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=True)
    ap.add_argument("--name", required=True)
    ap.add_argument("--summary", required=True)
    ap.add_argument("--manual", help="Markdown text that follows the help's own description")
    ap.add_argument("--commands", action="store_true", help="document each entry of Commands:")
    ap.add_argument("--see-also", default="")
    ap.add_argument("--output", required=True, help="the page; NAME.gz beside it as well")
    ap.add_argument("--changelog", help="the Debian changelog whose newest entry dates the page")
    args = ap.parse_args()

    version = run(args.program, "--version").split()[-1]
    synopsis, description, sections = parse(run(args.program, "--help"))
    # Reproducible: the date of the release the changelog names, else SOURCE_DATE_EPOCH or the program's.
    if args.changelog:
        date = changelog_date(args.changelog)
    else:
        epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "0")) or int(os.path.getmtime(args.program))
        date = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc).strftime("%Y-%m-%d")

    out = [
        '.\\" Made by tools/make-manpage.py from the output of %s --help; do not edit.' % args.name,
        '.TH %s 1 "%s" "Tolva %s" "User Commands"' % (args.name.upper(), date, version),
        ".SH NAME",
        "%s \\- %s" % (escape(args.name), escape(args.summary)),
        ".SH SYNOPSIS",
        ".B %s" % escape(args.name),
        escape(synopsis.split(" ", 1)[1]) if " " in synopsis else "",
        ".SH DESCRIPTION",
    ]
    for p in description:
        out += [".PP", escape(p)]
    if args.manual:
        with open(args.manual, encoding="utf-8") as f:
            out += markdown_to_roff(f.read())

    # A command's help repeats the program's own options; the page lists them once.
    common = {term for title, entries, _ in sections if title == "Options" for term, _ in entries}
    for title, entries, trailing in sections:
        if title:
            out.append(".SH " + escape(title.upper()))
        if args.commands and title == "Commands":
            for synopsis_line, _ in entries:
                command = synopsis_line.split()[0]
                c_synopsis, c_text, c_sections = parse(run(args.program, command, "--help"))
                out += [".SS " + escape(command), ".B " + escape(c_synopsis)]
                for p in c_text:
                    out += [".PP", escape(p)]
                for _, c_entries, c_trailing in c_sections:
                    own = [e for e in c_entries if e[0] not in common]
                    if own:
                        out += [".RS"] + entries_to_roff(own) + [".RE"]
                    for p in c_trailing:
                        out += [".PP", escape(p)]
        else:
            out += entries_to_roff(entries, bold_terms=title not in ("Exit status",))
        for p in trailing:
            out += [".PP", escape(p)]
    if args.see_also:
        out += [".SH SEE ALSO", escape(args.see_also)]

    page = "\n".join(line for line in out if line is not None) + "\n"
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(page)
    with open(args.output + ".gz", "wb") as f:
        with gzip.GzipFile(filename="", mode="wb", fileobj=f, mtime=0, compresslevel=9) as z:
            z.write(page.encode("utf-8"))


if __name__ == "__main__":
    main()
