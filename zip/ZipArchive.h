#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "data/ArchiveWriter.h"

namespace tavox {

// The ZIP archives of .npz outputs, through minizip (Debian's libminizip):
// a writer that streams each member into an OutputFile (stored, its CRC-32
// from zlib, ZIP64 fields for a member of 4 GiB and more or an archive that
// grows past 4 GiB), and a reader of whole archives for the viewer.

// Makes a writer onto `file` that works on a thread of its own (the file
// is used there until Close returns or the writer is destroyed); failures
// may show at a later call, at the latest at Close. Nullptr when minizip
// cannot start.
std::unique_ptr<ArchiveWriter> MakeZipArchiveWriter(OutputFile& file);

// Gives the core MakeZipArchiveWriter as its archive writer (see
// InstallArchiveWriter): the program, the Python module and the tests call
// it once as they start.
void InstallZipArchive() noexcept;

// The members of the ZIP archive at `path` (stored or deflated), by name;
// nothing, with `error` set, when it cannot be read or its members hold
// more than `maxBytes` in all.
std::optional<std::map<std::string, std::string>> ReadZipMembers(const std::string& path, std::uint64_t maxBytes,
                                                                 std::string& error);

}  // namespace tavox
