#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// Feeds one input through the real file operations in a fresh folder under `scratchDir`: the year,
// defaults and every-year files are written from the input, the folder is captured, each file is
// inspected and loaded, the every-year days are merged into the year just loaded, all three are saved and
// loaded again. Returns false when an invariant breaks (and says which on stderr):
// - a damaged file's kept copy holds exactly the bytes that were on disk;
// - every report other than Ok names the path and the reason, in its message too;
// - an inspection reports what the load reports and changes no file;
// - every save succeeds and loads back cleanly and equal;
// - no stray file remains: only the data files and the copies the reports name.
//
// Input layout: byte 0 holds flags (bit 0 year file present, 1 defaults present, 2 every-year present,
// 3 year file reached through a symlink into another folder, 4 a stale temporary left beside it, 5 the
// year is 2012 rather than 2011); bytes 1..3 and 4..6 are the lengths (24 bits, little-endian) of the
// defaults and every-year bytes that follow; the rest is the year file. Missing header bytes count as 0.
bool fuzzStorage(const std::uint8_t* data, std::size_t size, const QString& scratchDir);
