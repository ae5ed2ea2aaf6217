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
#include "data/TargetPath.h"
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

// The normal form of the folders of a batch's files, made once per folder text.
class NormalFolders {
public:
    const std::string& Of(std::string_view folder) {
        if (folder.data() != last_.data() || folder.size() != last_.size()) {
            last_ = folder;
            normal_ = Normalised(std::string(folder));
            if (!normal_.empty() && normal_.back() != '/') normal_ += '/';
        }
        return normal_;
    }

private:
    std::string_view last_;
    std::string normal_;
};

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
    completed_ = 0;
    const auto app = apl.lock();
    if (!app) return;
    Check(*app->FFTFiles(), *app->FFTParameters());
    if (Stopped()) {
        sources_.clear();
        hits_.clear();
    }
}

// An output lies in its source's folder and names another source when a file
// of the batch has its name and a folder of the same normal form. The outputs
// of a Multi transform differ only in their last three digits: the inputs
// that end in such digits are grouped by the rest of their path, so that each
// file is matched once instead of once per exposure.
void ReplacedSources::Check(Files& files, const Parameters& parameters) {
    const std::size_t count = static_cast<std::size_t>(files.Count());
    const bool multi = parameters.Method() == fftMethodMulti;
    const std::int32_t repeat = parameters.Repeat();
    NormalFolders folders;
    NormalFolders inputFolders;
    std::unordered_map<std::string, std::vector<std::pair<int, std::size_t>>> numbered;  // by normal path less digits
    if (multi) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!files.IsDiskAt(i)) continue;
            const int number = ExposureNumber(files.NameAt(i));
            if (number < 1 || number > repeat) continue;
            std::string path = folders.Of(files.FolderAt(i));
            path += files.NameAt(i);
            path.resize(path.size() - 3);
            numbered[path].emplace_back(number, i);
        }
        for (auto& [stem, found] : numbered) std::sort(found.begin(), found.end());
    }
    std::string input;
    std::string normal;
    std::string otherFolder;
    std::string output;
    auto inputAt = [&](std::size_t p) {
        input.assign(files.FolderAt(p));
        input += files.NameAt(p);
        normal = inputFolders.Of(files.FolderAt(p));
        normal += files.NameAt(p);
    };
    // The output path of exposure `number` (0 for the only one) of the file at `i`.
    auto outputOf = [&](std::size_t i, std::int16_t number, std::string& path) {
        if (const std::shared_ptr<File>& file = files.HeldAt(i)) {
            file->GetData().TargetPath(path, number);
            return;
        }
        const std::string* mask = files.MaskAt(i).AsString();
        input.assign(files.FolderAt(i));
        input += files.NameAt(i);
        if (mask) {
            FormTargetPath(path, input, *mask, number);
        } else {
            path.clear();
        }
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (Stopped()) return;
        const std::shared_ptr<File>& file = files.HeldAt(i);
        if (file ? file->DataFormat() != fftDataDiskFile : !files.IsDiskAt(i)) continue;
        outputOf(i, multi ? 1 : 0, output);
        if (output.empty()) continue;
        const std::size_t slash = output.rfind('/') + 1;
        const std::string_view folder = std::string_view(output).substr(0, slash);
        const std::string_view name = std::string_view(output).substr(slash);
        // Outputs lie in their source's folder, unless the naming rule says otherwise.
        const bool ownFolder = folder == files.FolderAt(i);
        if (!ownFolder) otherFolder = NormalFolders().Of(folder);
        const std::string& normalFolder = ownFolder ? folders.Of(files.FolderAt(i)) : otherFolder;
        if (!multi) {
            const std::ptrdiff_t found = files.Find(name);
            // An output that names its own source is refused.
            if (found < 0 || static_cast<std::size_t>(found) == i) continue;
            const auto position = static_cast<std::size_t>(found);
            if (inputFolders.Of(files.FolderAt(position)) != normalFolder) continue;
            inputAt(position);
            NoteHit(i, output, input, normal);
            continue;
        }
        std::string stem = normalFolder;
        stem += name;
        stem.resize(stem.size() - 3);
        const auto found = numbered.find(stem);
        if (found == numbered.end()) continue;
        for (const auto& [number, position] : found->second) {
            if (position == i) continue;
            std::string numbered;
            outputOf(i, static_cast<std::int16_t>(number), numbered);
            inputAt(position);
            NoteHit(i, std::move(numbered), input, normal);
        }
    }
}

void ReplacedSources::NoteHit(std::size_t position, std::string output, const std::string& input,
                              const std::string& normal) {
    auto [entry, added] = sources_.try_emplace(normal);
    if (added) entry->second.stamp = StampOf(input);
    hits_[position].push_back(Hit{std::move(output), &entry->second});
}

void ReplacedSources::FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) {
    const auto found = hits_.find(completed_++);
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
