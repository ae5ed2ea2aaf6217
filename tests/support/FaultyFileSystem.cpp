#include "support/FaultyFileSystem.h"

namespace tavox::test {
namespace {

std::size_t Index(FsCall kind) {
    return static_cast<std::size_t>(kind);
}

class FaultyInputFile final : public InputFile {
public:
    FaultyInputFile(std::unique_ptr<InputFile> real, std::shared_ptr<FaultyFileSystem::State> state)
        : real_(std::move(real)), state_(std::move(state)) {
        ++state_->openHandles;
    }
    ~FaultyInputFile() override { --state_->openHandles; }

    std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) override {
        if (state_->Fails(FsCall::ReadAt)) return std::nullopt;
        return real_->ReadAt(offset, out);
    }
    std::optional<std::uint64_t> Size() const override { return real_->Size(); }
    std::optional<FileIdentity> Identity() const override { return real_->Identity(); }

private:
    std::unique_ptr<InputFile> real_;
    std::shared_ptr<FaultyFileSystem::State> state_;
};

class FaultyOutputFile final : public OutputFile {
public:
    FaultyOutputFile(std::unique_ptr<OutputFile> real, std::shared_ptr<FaultyFileSystem::State> state)
        : real_(std::move(real)), state_(std::move(state)) {
        ++state_->openHandles;
    }
    ~FaultyOutputFile() override { --state_->openHandles; }

    void Write(std::span<const std::byte> bytes) override {
        if (state_->Fails(FsCall::Write)) {
            writeFailed_ = true;
            return;
        }
        real_->Write(bytes);
    }
    // Counted as a Write.
    void WriteAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
        if (state_->Fails(FsCall::Write)) {
            writeFailed_ = true;
            return;
        }
        real_->WriteAt(offset, bytes);
    }

    // A failure is played by dropping the real file, which removes the new file.
    bool Finish() override {
        if (finished_) return real_ != nullptr;
        finished_ = true;
        const bool closeFails = state_->Fails(FsCall::Close);
        if (writeFailed_ || closeFails || !real_->Finish()) {
            real_.reset();
            return false;
        }
        return true;
    }

    CommitResult Commit(const std::optional<FileIdentity>& keep) override {
        if (!Finish()) return CommitResult::WriteFailed;
        if (state_->Fails(FsCall::Rename)) {
            real_.reset();
            return CommitResult::Failed;
        }
        return real_->Commit(keep);
    }

private:
    std::unique_ptr<OutputFile> real_;
    std::shared_ptr<FaultyFileSystem::State> state_;
    bool writeFailed_ = false;
    bool finished_ = false;
};

}  // namespace

bool FaultyFileSystem::State::Fails(FsCall kind) {
    const int call = ++calls[Index(kind)];
    return failEvery[Index(kind)] || call == failAt[Index(kind)];
}

FaultyFileSystem::FaultyFileSystem(std::shared_ptr<FileSystem> real)
    : real_(std::move(real)), state_(std::make_shared<State>()) {}

void FaultyFileSystem::FailCall(FsCall kind, int nth) {
    state_->failAt[Index(kind)] = state_->calls[Index(kind)] + nth;
}

void FaultyFileSystem::FailEvery(FsCall kind) {
    state_->failEvery[Index(kind)] = true;
}

void FaultyFileSystem::Heal(FsCall kind) {
    state_->failEvery[Index(kind)] = false;
    state_->failAt[Index(kind)] = 0;
}

int FaultyFileSystem::Calls(FsCall kind) const {
    return state_->calls[Index(kind)];
}

int FaultyFileSystem::OpenHandles() const {
    return state_->openHandles;
}

std::optional<std::uint64_t> FaultyFileSystem::FileSize(const std::string& path) {
    if (state_->Fails(FsCall::FileSize)) return std::nullopt;
    return real_->FileSize(path);
}

bool FaultyFileSystem::FileExists(const std::string& path) {
    if (state_->Fails(FsCall::FileExists)) return false;
    return real_->FileExists(path);
}

bool FaultyFileSystem::DeleteFileForced(const std::string& path) {
    if (state_->Fails(FsCall::DeleteFileForced)) return false;
    return real_->DeleteFileForced(path);
}

std::unique_ptr<InputFile> FaultyFileSystem::OpenRead(const std::string& path) {
    if (state_->Fails(FsCall::OpenRead)) return nullptr;
    auto file = real_->OpenRead(path);
    if (!file) return nullptr;
    return std::make_unique<FaultyInputFile>(std::move(file), state_);
}

std::unique_ptr<OutputFile> FaultyFileSystem::CreateOutput(const std::string& path) {
    if (state_->Fails(FsCall::CreateOutput)) return nullptr;
    auto file = real_->CreateOutput(path);
    if (!file) return nullptr;
    return std::make_unique<FaultyOutputFile>(std::move(file), state_);
}

std::vector<std::string> FaultyFileSystem::List(const std::string& folder, const std::string& pattern) {
    if (state_->Fails(FsCall::List)) return {};
    return real_->List(folder, pattern);
}

std::string FaultyFileSystem::MountPoint(const std::string& path) {
    return real_->MountPoint(path);
}

std::optional<std::uint64_t> FaultyFileSystem::FreeSpace(const std::string& path) {
    return real_->FreeSpace(path);
}

bool FaultyFileSystem::SameFile(const std::string& a, const std::string& b) {
    return real_->SameFile(a, b);
}

std::optional<std::string> FaultyFileSystem::ReadSmallFile(const std::string& path, std::size_t maxBytes) {
    if (state_->Fails(FsCall::ReadSmallFile)) return std::nullopt;
    return real_->ReadSmallFile(path, maxBytes);
}

bool FaultyFileSystem::ReplaceFile(const std::string& path, std::string_view bytes) {
    if (state_->Fails(FsCall::ReplaceFile)) return false;
    return real_->ReplaceFile(path, bytes);
}

PathCheck FaultyFileSystem::CheckPath(const std::string& path) {
    return real_->CheckPath(path);
}

}  // namespace tavox::test
