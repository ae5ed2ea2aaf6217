#include "zip/ZipArchive.h"

#include <unzip.h>
#include <zip.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
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

// A ZipArchiveWriter run on a thread of its own, so that the copying and
// CRC-32 of the members overlap the work of the caller: each call is queued
// (the bytes of a Write copied into a buffer kept for reuse) and returns at
// once while the queue holds less than QueueBytes; a failure shows at a
// later call, at the latest at Close, which waits for the queue.
class BackgroundArchive final : public ArchiveWriter {
public:
    explicit BackgroundArchive(std::unique_ptr<ZipArchiveWriter> archive)
        : archive_(std::move(archive)), thread_([this] { Run(); }) {}
    ~BackgroundArchive() override {
        Push(Command{Command::Stop, {}, 0, {}});
        thread_.join();
    }
    BackgroundArchive(const BackgroundArchive&) = delete;
    BackgroundArchive& operator=(const BackgroundArchive&) = delete;

    bool BeginMember(std::string_view name, std::uint64_t size) override {
        return Push(Command{Command::Begin, std::string(name), size, {}});
    }
    bool Write(std::span<const std::byte> bytes) override {
        std::vector<std::byte> buffer;
        {
            std::unique_lock lock(mutex_);
            room_.wait(lock, [this] { return pending_ < QueueBytes || failed_; });
            if (failed_) return false;
            if (!spare_.empty()) {
                buffer = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        buffer.assign(bytes.begin(), bytes.end());
        return Push(Command{Command::Data, {}, 0, std::move(buffer)});
    }
    bool EndMember() override { return Push(Command{Command::End, {}, 0, {}}); }
    bool Close() override {
        Push(Command{Command::Close, {}, 0, {}});
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return closed_ || failed_; });
        return closed_ && !failed_;
    }

private:
    static constexpr std::size_t QueueBytes = std::size_t{4} << 20;

    struct Command {
        enum Kind { Begin, Data, End, Close, Stop } kind;
        std::string name;
        std::uint64_t size;
        std::vector<std::byte> bytes;
    };

    bool Push(Command&& command) {
        std::lock_guard lock(mutex_);
        pending_ += command.bytes.size();
        queue_.push_back(std::move(command));
        work_.notify_one();
        return !failed_;
    }

    void Run() {
        for (;;) {
            Command command;
            {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [this] { return !queue_.empty(); });
                command = std::move(queue_.front());
                queue_.pop_front();
            }
            if (command.kind == Command::Stop) return;
            bool ok = true;
            if (!Failed()) {
                switch (command.kind) {
                    case Command::Begin:
                        ok = archive_->BeginMember(command.name, command.size);
                        break;
                    case Command::Data:
                        ok = archive_->Write(command.bytes);
                        break;
                    case Command::End:
                        ok = archive_->EndMember();
                        break;
                    default:
                        ok = archive_->Close();
                        break;
                }
            }
            std::lock_guard lock(mutex_);
            failed_ = failed_ || !ok;
            closed_ = closed_ || (command.kind == Command::Close && !failed_);
            pending_ -= command.bytes.size();
            if (command.kind == Command::Data) spare_.push_back(std::move(command.bytes));
            room_.notify_all();
        }
    }

    bool Failed() {
        std::lock_guard lock(mutex_);
        return failed_;
    }

    std::unique_ptr<ZipArchiveWriter> archive_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable room_;
    std::deque<Command> queue_;
    std::vector<std::vector<std::byte>> spare_;
    std::size_t pending_ = 0;
    bool failed_ = false;
    bool closed_ = false;
    std::thread thread_;  // last: it starts once the rest is there
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
    return std::make_unique<BackgroundArchive>(std::move(writer));
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
