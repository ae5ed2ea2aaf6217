#include "data/ArchiveWriter.h"

#include <atomic>

namespace tavox {
namespace {

std::atomic<ArchiveWriterMaker> installed{nullptr};

}  // namespace

void InstallArchiveWriter(ArchiveWriterMaker maker) noexcept {
    installed.store(maker, std::memory_order_release);
}

std::unique_ptr<ArchiveWriter> MakeArchiveWriter(OutputFile& file) {
    const ArchiveWriterMaker maker = installed.load(std::memory_order_acquire);
    return maker != nullptr ? maker(file) : nullptr;
}

}  // namespace tavox
