#include "zip/ZipArchive.h"

#include <unzip.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

#include "data/FileSystem.h"

namespace tavox {
namespace {

// A member at or beyond this size needs the ZIP64 fields.
constexpr std::uint64_t Zip64Size = 0xFFFFFFFFu;
// minizip takes at most this many bytes in one call.
constexpr std::size_t MaxWrite = std::size_t{1} << 30;

// What minizip's stream callbacks see: an OutputFile that is appended to,
// and written over where minizip goes back to fill in a local header.
struct Stream {
    OutputFile* file = nullptr;
    std::uint64_t position = 0;
    std::uint64_t end = 0;
};

voidpf OpenStream(voidpf opaque, const void*, int) {
    return opaque;
}

uLong ReadStream(voidpf, voidpf, void*, uLong) {
    return 0;  // the archive is written only
}

uLong WriteStream(voidpf, voidpf handle, const void* buffer, uLong size) {
    auto& stream = *static_cast<Stream*>(handle);
    std::span<const std::byte> bytes(static_cast<const std::byte*>(buffer), size);
    if (stream.position < stream.end) {
        const std::size_t over =
            static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), stream.end - stream.position));
        stream.file->WriteAt(stream.position, bytes.first(over));
        stream.position += over;
        bytes = bytes.subspan(over);
    }
    if (!bytes.empty()) {
        stream.file->Write(bytes);
        stream.position += bytes.size();
        stream.end = stream.position;
    }
    return size;
}

ZPOS64_T TellStream(voidpf, voidpf handle) {
    return static_cast<Stream*>(handle)->position;
}

long SeekStream(voidpf, voidpf handle, ZPOS64_T offset, int origin) {
    auto& stream = *static_cast<Stream*>(handle);
    std::uint64_t to = offset;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) to += stream.position;
    if (origin == ZLIB_FILEFUNC_SEEK_END) to += stream.end;
    // Nothing is read, and no hole is left.
    if (to > stream.end) return -1;
    stream.position = to;
    return 0;
}

int CloseStream(voidpf, voidpf) {
    return 0;
}

int StreamError(voidpf, voidpf) {
    return 0;
}

// Members are written stored, with a fixed date (1980-01-01), so that the
// same values give the same bytes.
class ZipArchiveWriter final : public ArchiveWriter {
public:
    explicit ZipArchiveWriter(OutputFile& file) {
        stream_.file = &file;
        zlib_filefunc64_def functions{OpenStream, ReadStream,  WriteStream, TellStream,
                                      SeekStream, CloseStream, StreamError, &stream_};
        zip_ = zipOpen2_64("", APPEND_STATUS_CREATE, nullptr, &functions);
    }
    ~ZipArchiveWriter() override {
        if (zip_ != nullptr) zipClose(zip_, nullptr);
    }
    ZipArchiveWriter(const ZipArchiveWriter&) = delete;
    ZipArchiveWriter& operator=(const ZipArchiveWriter&) = delete;

    bool Started() const noexcept { return zip_ != nullptr; }

    bool BeginMember(std::string_view name, std::uint64_t size) override {
        zip_fileinfo info{};
        info.tmz_date.tm_mday = 1;
        info.tmz_date.tm_year = 1980;
        info.external_fa = 0644u << 16;
        const std::string member(name);
        return Ok(zipOpenNewFileInZip64(zip_, member.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0,
                                        size >= Zip64Size ? 1 : 0));
    }
    bool Write(std::span<const std::byte> bytes) override {
        while (failed_ == false && !bytes.empty()) {
            const std::size_t n = std::min(bytes.size(), MaxWrite);
            Ok(zipWriteInFileInZip(zip_, bytes.data(), static_cast<unsigned>(n)));
            bytes = bytes.subspan(n);
        }
        return !failed_;
    }
    bool EndMember() override { return Ok(zipCloseFileInZip(zip_)); }
    bool Close() override {
        const bool ok = Ok(zipClose(zip_, nullptr));
        zip_ = nullptr;
        return ok;
    }

private:
    bool Ok(int result) {
        if (zip_ == nullptr || result != ZIP_OK) failed_ = true;
        return !failed_;
    }

    Stream stream_;
    zipFile zip_ = nullptr;
    bool failed_ = false;
};

// Closes what minizip opened for reading.
struct Reader {
    unzFile zip = nullptr;
    ~Reader() {
        if (zip != nullptr) unzClose(zip);
    }
};

}  // namespace

std::unique_ptr<ArchiveWriter> MakeZipArchiveWriter(OutputFile& file) {
    auto writer = std::make_unique<ZipArchiveWriter>(file);
    if (!writer->Started()) return nullptr;
    return writer;
}

void InstallZipArchive() noexcept {
    InstallArchiveWriter(&MakeZipArchiveWriter);
}

std::optional<std::map<std::string, std::string>> ReadZipMembers(const std::string& path, std::uint64_t maxBytes,
                                                                 std::string& error) {
    Reader reader{unzOpen64(path.c_str())};
    if (reader.zip == nullptr) {
        error = "is no ZIP archive (an .npz is one)";
        return std::nullopt;
    }
    std::map<std::string, std::string> members;
    std::uint64_t total = 0;
    for (int at = unzGoToFirstFile(reader.zip); at != UNZ_END_OF_LIST_OF_FILE; at = unzGoToNextFile(reader.zip)) {
        unz_file_info64 info{};
        char name[256] = {};
        if (at != UNZ_OK ||
            unzGetCurrentFileInfo64(reader.zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) {
            error = "holds a damaged ZIP directory";
            return std::nullopt;
        }
        total += info.uncompressed_size;
        if (total > maxBytes) {
            error = "holds more than a spectrogram may (over " + std::to_string(maxBytes >> 20) + " MiB)";
            return std::nullopt;
        }
        std::string bytes(static_cast<std::size_t>(info.uncompressed_size), '\0');
        bool read = unzOpenCurrentFile(reader.zip) == UNZ_OK;
        std::size_t done = 0;
        while (read && done < bytes.size()) {
            const unsigned n = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, MaxWrite));
            const int got = unzReadCurrentFile(reader.zip, bytes.data() + done, n);
            read = got > 0;
            if (read) done += static_cast<std::size_t>(got);
        }
        // Closing checks the member's CRC-32.
        if (unzCloseCurrentFile(reader.zip) != UNZ_OK || done != bytes.size()) {
            error = std::string("holds the member ") + name + ", which cannot be read whole (a damaged archive)";
            return std::nullopt;
        }
        members[name] = std::move(bytes);
    }
    return members;
}

}  // namespace tavox
