#include "ui/terminal/ReplacedSources.h"

#include <sys/stat.h>

#include <filesystem>
#include <ostream>

#include "app/Application.h"
#include "data/Data.h"
#include "data/Files.h"
#include "engine/File.h"
#include "engine/Parameters.h"

namespace tavox {
namespace {

std::string Normalised(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
}

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// Paths the transform of `file` writes: one, or one per exposure for Multi.
std::vector<std::string> OutputsOf(File& file, const Parameters& parameters) {
    std::vector<std::string> outputs;
    if (parameters.Method() == fftMethodMulti) {
        for (std::int32_t k = 1; k <= parameters.Repeat(); ++k) {
            outputs.push_back(file.GetData().TargetPath(static_cast<std::int16_t>(k)));
        }
    } else {
        outputs.push_back(file.GetData().TargetPath(0));
    }
    return outputs;
}

}  // namespace

void ReplacedSources::Attach(const std::shared_ptr<Application>& app) {
    apl = app;
    app->Subscribe(shared_from_this());
}

std::optional<ReplacedSources::Stamp> ReplacedSources::StampOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return Stamp{info.st_dev, info.st_ino, info.st_size, Nanoseconds(info.st_mtim), Nanoseconds(info.st_ctim)};
}

void ReplacedSources::WillExecute(std::int16_t&) {
    sources_.clear();
    const auto app = apl.lock();
    if (!app) return;
    for (const auto& file : app->FFTFiles()->Items()) {
        if (file->DataFormat() != fftDataDiskFile) continue;
        const Variant source = file->Source();
        if (const std::string* path = source.AsString()) sources_[Normalised(*path)] = Source{StampOf(*path)};
    }
}

void ReplacedSources::FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) {
    const auto app = apl.lock();
    if (!app || !File || File->DataFormat() != fftDataDiskFile || sources_.empty()) return;
    const Variant source = File->Source();
    const std::string* own = source.AsString();
    const std::string ownPath = own ? Normalised(*own) : std::string();
    for (const std::string& output : OutputsOf(*File, *app->FFTParameters())) {
        if (output.empty()) continue;
        const std::string path = Normalised(output);
        if (path == ownPath) continue;  // refused as naming its own source
        const auto found = sources_.find(path);
        if (found == sources_.end() || found->second.warned) continue;
        // A transform that ended all right wrote every output; after a failure
        // the file itself tells whether it was replaced.
        if (Result != fftResultAllRight && StampOf(output) == found->second.stamp) continue;
        found->second.warned = true;
        ++warnings_;
        err_ << "tavox: warning: the output \"" << output << "\" of " << File->Name()
             << " replaced a file that is also an input of this batch\n"
             << std::flush;
    }
}

}  // namespace tavox
