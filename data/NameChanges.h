#pragma once

#include <cstdint>
#include <optional>

#include "data/FileSystem.h"

namespace tavox {

// The names that outputs of this process took, for work that read a source
// ahead of its turn: whether an output named since then may have changed
// what the source's path leads to. Every function is safe to call from any
// thread.
namespace NameChanges {

// A mark to compare later notes with; take it before opening the source.
std::uint64_t Mark() noexcept;

// Notes that a new file took a name. `replaced` is the file the name led to
// before (links followed); `known` is false when that could not be told,
// which then counts as a change of every path.
void Note(const std::optional<FileIdentity>& replaced, bool known = true) noexcept;

// True when a name taken since `mark` may lead a path elsewhere than at
// `mark`: for a source that opened as `source`, a name that led to that
// file, or one whose old file is not known; for a source that did not open
// (no identity), any name taken since. Also true when `mark` lies too far
// back to tell.
bool ChangedSince(std::uint64_t mark, const std::optional<FileIdentity>& source) noexcept;

}  // namespace NameChanges

}  // namespace tavox
