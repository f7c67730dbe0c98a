#pragma once

#include <cstddef>
#include <cstdint>

// Feeds one input to the year, defaults and every-year loaders. Returns false when an invariant breaks:
// whatever a loader kept from the input must write out and read back unchanged. Anything but the
// loaders' own ArchiveError escaping is a finding too.
bool fuzzLoaders(const std::uint8_t* data, std::size_t size);
