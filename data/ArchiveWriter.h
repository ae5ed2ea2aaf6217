#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace tavox {

class OutputFile;

// A ZIP archive written member by member to an output, each member stored
// as it comes (no compression, as numpy.savez stores arrays), with ZIP64
// fields where a member or the archive needs them. The core holds no ZIP
// code: a library outside it supplies the writer (InstallArchiveWriter).
// A failed call leaves the archive unusable; later calls fail too. A writer
// may tell a failure only at a later call, at the latest at Close.
class ArchiveWriter {
public:
    virtual ~ArchiveWriter() = default;
    // Starts the member `name`, which will hold `size` bytes.
    virtual bool BeginMember(std::string_view name, std::uint64_t size) = 0;
    // Appends bytes to the member begun last.
    virtual bool Write(std::span<const std::byte> bytes) = 0;
    virtual bool EndMember() = 0;
    // Writes the central directory; the archive is then complete. The output
    // itself stays open, to be finished and committed by its owner.
    virtual bool Close() = 0;
};

// Makes a writer onto `file`, which the writer appends to (and writes over
// with OutputFile::WriteAt); nullptr when it cannot start one.
using ArchiveWriterMaker = std::unique_ptr<ArchiveWriter> (*)(OutputFile& file);

// Installs the maker that MakeArchiveWriter calls, once, when the program or
// module starts; thread-safe.
void InstallArchiveWriter(ArchiveWriterMaker maker) noexcept;
// An archive writer onto `file`; nullptr when none is installed or it cannot start.
std::unique_ptr<ArchiveWriter> MakeArchiveWriter(OutputFile& file);

}  // namespace tavox
