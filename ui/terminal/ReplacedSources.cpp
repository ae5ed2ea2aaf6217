#include "ui/terminal/ReplacedSources.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string_view>

#include "app/Application.h"
#include "data/Data.h"
#include "data/Files.h"
#include "engine/File.h"
#include "engine/Parameters.h"

namespace tavox {
namespace {

// A path with no empty, "." or ".." part is already in normal form; only the
// others go through std::filesystem, which costs more than the rest of the check.
bool IsNormal(std::string_view path) {
    if (path.empty() || path.find("//") != std::string_view::npos) return false;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

std::string Normalised(const std::string& path) {
    if (IsNormal(path)) return path;
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
    hits_.clear();
    const auto app = apl.lock();
    if (!app) return;
    const auto& files = app->FFTFiles()->Items();
    std::unordered_map<std::string, std::string> inputs;  // normalised path, path as given
    for (const auto& file : files) {
        if (file->DataFormat() != fftDataDiskFile) continue;
        const Variant source = file->Source();
        if (const std::string* path = source.AsString()) inputs.emplace(Normalised(*path), *path);
    }
    const Parameters& parameters = *app->FFTParameters();
    for (const auto& file : files) {
        if (file->DataFormat() != fftDataDiskFile) continue;
        const Variant source = file->Source();
        const std::string* own = source.AsString();
        const std::string ownPath = own ? Normalised(*own) : std::string();
        for (std::string& output : OutputsOf(*file, parameters)) {
            if (output.empty()) continue;
            const std::string path = Normalised(output);
            if (path == ownPath) continue;  // refused as naming its own source
            const auto input = inputs.find(path);
            if (input == inputs.end()) continue;
            auto [named, added] = sources_.try_emplace(path);
            if (added) named->second.stamp = StampOf(input->second);
            hits_[file.get()].push_back(Hit{std::move(output), &named->second});
        }
    }
}

void ReplacedSources::FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) {
    const auto found = hits_.find(File.get());
    if (found == hits_.end()) return;
    for (const Hit& hit : found->second) {
        if (hit.source->warned) continue;
        // A transform that ended all right wrote every output; after a failure
        // the file itself tells whether it was replaced.
        if (Result != fftResultAllRight && StampOf(hit.output) == hit.source->stamp) continue;
        hit.source->warned = true;
        ++warnings_;
        err_ << "tavox: warning: the output \"" << hit.output << "\" of " << File->Name()
             << " replaced a file that is also an input of this batch\n"
             << std::flush;
    }
}

}  // namespace tavox
