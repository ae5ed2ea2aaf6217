#include "ui/terminal/ReplacedSources.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string_view>

#include "app/Application.h"
#include "app/DisplayText.h"
#include "app/Files.h"
#include "data/Data.h"
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

// The exposure number of a Multi output, from the ".001" to ".999" that
// ends its path; 0 for any other path.
int ExposureNumber(std::string_view path) {
    if (path.size() < 5 || path[path.size() - 4] != '.') return 0;
    int number = 0;
    for (const char c : path.substr(path.size() - 3)) {
        if (c < '0' || c > '9') return 0;
        number = number * 10 + (c - '0');
    }
    return number;
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

// The outputs of a Multi transform differ only in their last three digits:
// the inputs that end in such digits are grouped by the rest of their path,
// so that each file is matched once instead of once per exposure.
void ReplacedSources::WillExecute(std::int16_t&) {
    sources_.clear();
    hits_.clear();
    inputs_.clear();
    const auto app = apl.lock();
    if (!app) return;
    const auto& files = app->FFTFiles()->Items();
    for (const auto& file : files) {
        if (Stopped()) return;
        if (file->DataFormat() != fftDataDiskFile) continue;
        const Variant source = file->Source();
        if (const std::string* path = source.AsString()) inputs_.emplace(Normalised(*path), *path);
    }
    const Parameters& parameters = *app->FFTParameters();
    const bool multi = parameters.Method() == fftMethodMulti;
    const std::int32_t repeat = parameters.Repeat();
    std::unordered_map<std::string, std::vector<std::pair<int, const std::string*>>> numbered;  // by path less digits
    if (multi) {
        for (const auto& [path, given] : inputs_) {
            const int number = ExposureNumber(path);
            if (number >= 1 && number <= repeat) numbered[path.substr(0, path.size() - 3)].emplace_back(number, &path);
        }
        for (auto& [stem, found] : numbered) std::sort(found.begin(), found.end());
    }
    for (const auto& file : files) {
        if (Stopped()) {
            sources_.clear();
            hits_.clear();
            break;
        }
        if (file->DataFormat() != fftDataDiskFile) continue;
        if (!multi) {
            std::string output = file->GetData().TargetPath(0);
            if (output.empty()) continue;
            const std::string path = Normalised(output);
            NoteHit(*file, std::move(output), path);
            continue;
        }
        const std::string first = file->GetData().TargetPath(1);
        if (first.empty()) continue;
        const std::string path = Normalised(first);
        const auto found = numbered.find(path.substr(0, path.size() - 3));
        if (found == numbered.end()) continue;
        for (const auto& [number, input] : found->second) {
            NoteHit(*file, file->GetData().TargetPath(static_cast<std::int16_t>(number)), *input);
        }
    }
    inputs_.clear();
}

// Notes `output` of `file` when its normalised path `input` is another source of the batch.
void ReplacedSources::NoteHit(File& file, std::string output, const std::string& input) {
    const auto named = inputs_.find(input);
    if (named == inputs_.end()) return;
    const Variant source = file.Source();
    const std::string* own = source.AsString();
    if (own && Normalised(*own) == input) return;  // refused as naming its own source
    auto [entry, added] = sources_.try_emplace(input);
    if (added) entry->second.stamp = StampOf(named->second);
    hits_[&file].push_back(Hit{std::move(output), &entry->second});
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
        err_ << "tavox: warning: the output \"" << DisplayText(hit.output) << "\" of " << DisplayText(File->Name())
             << " replaced a file that is also an input of this batch\n"
             << std::flush;
    }
}

}  // namespace tavox
