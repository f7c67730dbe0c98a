#!/usr/bin/env python3
"""Writes the loaders' seed corpus (fuzz/corpus/loaders): valid, damaged and hostile data files, built
here independently of the C++ writer. tests/model/tst_fuzzcorpus.cpp knows the expected outcome of each.
Then the storage target's seeds (fuzz/corpus/storage): the same files combined into one data folder each,
in the layout fuzz/FuzzStorage.h describes."""
import os
import struct

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "loaders")
os.makedirs(out, exist_ok=True)


def count(n):
    return struct.pack("<H", n) if n < 0xFFFF else struct.pack("<HI", 0xFFFF, n)


def text(b):
    n = len(b)
    if n < 0xFF:
        prefix = struct.pack("<B", n)
    elif n < 0xFFFE:
        prefix = struct.pack("<BH", 0xFF, n)
    else:
        prefix = struct.pack("<BHI", 0xFF, 0xFFFF, n)
    return prefix + b


def systemtime(y, m, d, dow=0, h=0, mi=0, s=0):
    return struct.pack("<8H", y, m, dow, d, h, mi, s, 0)


def logfont(height, weight):
    return struct.pack("<5i8B", height, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, 0) + b"Arial".ljust(32, b"\0")


def settings():
    s = bytearray(1540)
    s[0] = 1
    s[5] = 1
    s[8:44] = struct.pack("<9i", 15, 50, 15, 4, 1, 1, 2, 3, 5)
    s[132:156] = struct.pack("<6I", 0xC8C8C8, 0xFFFFFF, 0xFFFFFF, 0xC8C8FF, 0xC8C8C8, 0x00FFFF)
    s[216:220] = struct.pack("<I", 0xFF0000)
    s[296:356] = logfont(30, 700)
    s[356:416] = logfont(10, 700)
    s[416:476] = logfont(14, 400)
    s[1496:1512] = systemtime(2011, 6, 15, 3)
    return bytes(s)


def year_file(projects=(), memos=None, settings_records=1, new_year=False):
    memos = memos or {}
    b = count(settings_records) + settings() * settings_records
    marks = bytearray(370 * 120)
    for d in memos:
        marks[d * 120] = 1
    b += count(370) + bytes(marks)
    red = bytearray(370 * 24)
    if new_year:
        red[24:48] = struct.pack("<BB", 1, 0) + systemtime(2011, 1, 1, 6) + bytes(6)
    b += count(370) + bytes(red)
    b += count(len(projects)) + b"".join(
        struct.pack("<BB", 1, 0) + systemtime(2011, 3, 1) + systemtime(2011, 3, 20, 0, 23, 59, 59) + bytes(2)
        + struct.pack("<I", 0xC8C8C8) for _ in projects)
    b += count(370) + bytes(370 * 18)
    b += count(len(projects)) + b"".join(text(p) for p in projects)
    b += count(370) + b"".join(text(memos.get(d, b"")) for d in range(370))
    b += count(370) + b"".join(text(b"") for _ in range(370))
    b += count(370) + b"".join(text(b"New Year" if new_year and d == 1 else b"") for d in range(370))
    return b


def red_day(y, m, d):
    return struct.pack("<BB", 1, 0) + systemtime(y, m, d) + bytes(6)


rich = year_file([b"Garden", "Caf\u00e9".encode("cp1252"), "Trip \U0001F30D".encode()],
                 {1: b"Memo", 59: b"x" * 254, 60: b"y" * 255, 200: "\u00e9t\u00e9".encode()}, new_year=True)
every_year = [red_day(2011, 1, 1), red_day(2012, 2, 29), red_day(2011, 12, 25)]
files = {
    "year-empty.year": year_file(),
    "year-rich.year": rich,
    "year-truncated.year": rich[:2000],
    "year-settings-count-0.year": count(0) + year_file()[2:],
    "year-two-settings.year": year_file(settings_records=2),
    "year-hostile-daymark-count.year": count(1) + settings() + count(0xFFFFFFFF) + bytes(200),
    "year-hostile-text-length.year": year_file()[:-3 * 372] + count(370) + struct.pack("<BHI", 0xFF, 0xFFFF, 0xFFFFFFF0),
    "zero-length.year": b"",
    "defaults.year": count(1) + settings(),
    "defaults-cut.year": (count(1) + settings())[:100],
    "foreverreddays-empty.year": count(0) + count(0),
    "foreverreddays.year": count(3) + b"".join(every_year) + count(3) + text(b"New Year") + text(b"Leap")
    + text(b"Christmas"),
    "foreverreddays-fewer-texts.year": count(3) + b"".join(every_year) + count(1) + text(b"New Year"),
}
for name, data in files.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


# Storage seeds: flags, the 24-bit lengths of the defaults and every-year bytes, those bytes, the year file.
YEAR, DEFAULTS, EVERY_YEAR, SYMLINK, STALE, LEAP = 1, 2, 4, 8, 16, 32


def u24(n):
    return struct.pack("<I", n)[:3]


def storage_input(flags, year=b"", defaults=b"", every=b""):
    return bytes([flags]) + u24(len(defaults)) + u24(len(every)) + defaults + every + year


def bad_date_year():
    b = bytearray(year_file(new_year=True))
    at = 2 + 1540 + 2 + 370 * 120 + 2 + 24 + 2 + 2  # day 1's red day, wMonth
    b[at:at + 2] = struct.pack("<H", 13)
    return bytes(b)


storage_out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "storage")
os.makedirs(storage_out, exist_ok=True)
all_three = YEAR | DEFAULTS | EVERY_YEAR
storage = {
    "sound.bin": storage_input(all_three, year_file(), files["defaults.year"], files["foreverreddays.year"]),
    "rich-leap.bin": storage_input(all_three | LEAP, rich, files["defaults.year"], files["foreverreddays.year"]),
    "all-damaged.bin": storage_input(all_three, rich[:2000], files["defaults-cut.year"],
                                     files["foreverreddays-fewer-texts.year"]),
    "symlink-and-stale-temporary.bin": storage_input(all_three | SYMLINK | STALE, rich, files["defaults.year"],
                                                     files["foreverreddays.year"]),
    "symlinked-damaged.bin": storage_input(YEAR | SYMLINK, files["year-truncated.year"]),
    "no-files.bin": storage_input(0),
    "zero-length.bin": storage_input(all_three),
    "hostile-counts.bin": storage_input(all_three, files["year-hostile-daymark-count.year"],
                                        files["year-hostile-text-length.year"][:1542],
                                        count(2) + red_day(2011, 1, 1) + count(0xFFFFFFFF) + bytes(64)),
    "hostile-text-length.bin": storage_input(YEAR, files["year-hostile-text-length.year"]),
    "settings-count-0.bin": storage_input(YEAR | DEFAULTS, files["year-settings-count-0.year"],
                                          count(0) + settings()),
    "every-year-month-0.bin": storage_input(YEAR | EVERY_YEAR, year_file(),
                                            every=count(3) + red_day(2011, 1, 1) + red_day(2012, 2, 29)
                                            + red_day(2011, 0, 5) + count(3) + text(b"a") + text(b"b") + text(b"c")),
    "year-red-day-without-date.bin": storage_input(YEAR, bad_date_year()),
}
for name, data in storage.items():
    with open(os.path.join(storage_out, name), "wb") as f:
        f.write(data)
