#include "app/Files.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>

#include "app/MainModule.h"
#include "common/AutomationError.h"
#include "common/Enums.h"
#include "common/Numeric.h"
#include "data/Data.h"
#include "data/FileSystem.h"
#include "data/ListedNames.h"
#include "data/Path.h"
#include "data/Range.h"
#include "data/SampleSource.h"
#include "engine/File.h"

namespace tavox {

namespace {

// Names taken into the keys between two questions to the stop test.
constexpr std::size_t KeyStopInterval = 4096;

[[noreturn]] void RaiseInvalid(std::int32_t id) {
    throw AutomationError::FromStringTable(id, SourceFiles);
}

constexpr std::string_view SigmfData = ".sigmf-data";
constexpr std::string_view SigmfMeta = ".sigmf-meta";
constexpr std::string_view ChannelMark = "_ch";

// The names (in byte order) without the .sigmf-data files whose .sigmf-meta
// is among them: a recording is read through its metadata. Copies the list
// only when it drops a name.
void OneNamePerRecording(ListedNames& names) {
    const std::span<const std::string_view> views = names.Views();
    std::string meta;
    const auto paired = [&](std::string_view name) {
        if (name.size() <= SigmfData.size() || !name.ends_with(SigmfData)) return false;
        meta.assign(name.substr(0, name.size() - SigmfData.size()));
        meta += SigmfMeta;
        return std::binary_search(views.begin(), views.end(), std::string_view(meta));
    };
    if (std::none_of(views.begin(), views.end(), paired)) return;
    ListedNames kept;
    for (const std::string_view name : views) {
        if (!paired(name)) kept.Add(name);
    }
    names = std::move(kept);
}

// The name of the File that reads channel `channel` of the file `name`: "_chK"
// before the extension's dot.
std::string ChannelName(std::string_view name, std::int32_t channel) {
    const std::size_t dot = std::min(name.rfind('.'), name.size());
    std::string named(name.substr(0, dot));
    named += ChannelMark;
    named += std::to_string(channel);
    named += name.substr(dot);
    return named;
}

// The parts of a name ChannelName made: the file's name before and after
// "_chK", and K.
struct ChannelNameParts {
    std::string_view before;
    std::string_view after;
    std::int32_t channel = 1;
};

ChannelNameParts SplitChannelName(std::string_view name) noexcept {
    const std::size_t dot = std::min(name.rfind('.'), name.size());
    const std::size_t mark = name.substr(0, dot).rfind(ChannelMark);
    if (mark == std::string_view::npos) return {name, {}, 1};
    std::int32_t channel = 0;
    for (const char digit : name.substr(mark + ChannelMark.size(), dot - mark - ChannelMark.size())) {
        channel = channel * 10 + (digit - '0');
    }
    return {name.substr(0, mark), name.substr(dot), channel};
}

}  // namespace

Files::Files(std::shared_ptr<FileSystem> fileSystem) : fileSystem_(std::move(fileSystem)) {
    if (!fileSystem_) fileSystem_ = DefaultFileSystem();
}

Files::~Files() = default;

std::int32_t Files::Count() const noexcept {
    return static_cast<std::int32_t>(entries_.names.size());
}

std::shared_ptr<File> Files::Item(const Variant& index) {
    const std::ptrdiff_t i = IndexOf(index);
    return i < 0 ? nullptr : MakeFile(static_cast<std::size_t>(i));
}

std::vector<std::shared_ptr<File>> Files::Items() {
    std::vector<std::shared_ptr<File>> items;
    items.reserve(entries_.names.size());
    for (std::size_t i = 0; i < entries_.names.size(); ++i) items.push_back(MakeFile(i));
    return items;
}

Variant Files::Add(std::int32_t fileType, Variant& source, Variant& target) {
    switch (fileType) {
        case fftDataDiskFile: {
            const std::size_t first = entries_.names.size();
            AddDisk(source, target);
            return Added(first);
        }
        case fftDataExcelRange:
            return AddRange(source, target);
        default:
            return Variant::Nothing();
    }
}

// The result of one Add: no object, the one File, or an array of them.
Variant Files::Added(std::size_t first) {
    const std::size_t count = entries_.names.size() - first;
    if (count == 0) return Variant::Nothing();
    if (count == 1) return Variant(ObjectRef(MakeFile(first)));
    Variant::Array array;
    array.reserve(count);
    for (std::size_t i = first; i < entries_.names.size(); ++i) array.emplace_back(ObjectRef(MakeFile(i)));
    return Variant(std::move(array));
}

void Files::Remove(const Variant& index) {
    const std::ptrdiff_t i = IndexOf(index);
    if (i < 0) return;
    Freeze();
    entries_.names.erase(entries_.names.begin() + i);
    entries_.listingOf.erase(entries_.listingOf.begin() + i);
    entries_.held.erase(entries_.held.begin() + i);
    Reindex();
}

void Files::SetOutputOptions(const OutputOptions& options) noexcept {
    outputOptions_ = options;
    for (const Entries* entries : {&entries_, frozen_.get()}) {
        if (entries == nullptr) continue;
        for (const auto& file : entries->held) {
            if (file) file->GetData().SetOutputOptions(options);
        }
    }
}

void Files::EndRun() noexcept {
    if (runs_ > 0 && --runs_ == 0) frozen_.reset();
}

void Files::Freeze() {
    if (runs_ > 0 && !frozen_) frozen_ = std::make_unique<Entries>(entries_);
}

bool Files::IsDiskAt(std::size_t i) const noexcept {
    return (Run().listingOf[i] & ~ExactKey) != RangeListing;
}

std::string_view Files::FolderAt(std::size_t i) const noexcept {
    return IsDiskAt(i) ? std::string_view(listings_[Run().listingOf[i] & ~ExactKey].folder) : std::string_view();
}

const Variant& Files::MaskAt(std::size_t i) const noexcept {
    static const Variant none;
    return IsDiskAt(i) ? listings_[Run().listingOf[i] & ~ExactKey].mask : none;
}

void Files::SourcePathAt(std::size_t i, std::string& path) const {
    SourcePath(Run(), i, path);
}

InputOptions Files::InputAt(std::size_t i) const noexcept {
    return IsDiskAt(i) ? Input(Run(), i) : InputOptions{};
}

void Files::SourcePath(const Entries& entries, std::size_t i, std::string& path) const {
    const Listing& listing = listings_[entries.listingOf[i] & ~ExactKey];
    path.assign(listing.folder);
    if (!listing.input.eachChannel) {
        path += entries.names[i];
        return;
    }
    const ChannelNameParts parts = SplitChannelName(entries.names[i]);
    path += parts.before;
    path += parts.after;
}

InputOptions Files::Input(const Entries& entries, std::size_t i) const noexcept {
    InputOptions input = listings_[entries.listingOf[i] & ~ExactKey].input;
    if (input.eachChannel) input.channel = SplitChannelName(entries.names[i]).channel;
    return input;
}

std::shared_ptr<File> Files::ForRun(std::size_t i, std::shared_ptr<File>& spare) {
    const Entries& entries = Run();
    if (entries.held[i]) return entries.held[i];
    if (!spare) spare = std::make_shared<File>(fileSystem_);
    PointAt(*spare, entries, i);
    return spare;
}

void Files::Hold(std::size_t i, std::shared_ptr<File> file) noexcept {
    // A run's file that the collection no longer holds has nothing to keep it for.
    if (frozen_) return;
    entries_.held[i] = std::move(file);
}

bool Files::IsValidTargetMask(const std::string& mask) {
    if (mask.empty() || mask.find('?') != std::string::npos) return false;
    const std::string name = PathName(mask);
    return CountOccurrences(BaseName(name), "*") <= 1 && CountOccurrences(Extension(name), "*") <= 1;
}

std::string Files::CompletedSource(const std::string& source) {
    if (IsAbsolutePath(source)) return source;
    std::string programFolder = ProgramFolder();
    if (programFolder.empty() || programFolder.back() != PathSeparator) programFolder += PathSeparator;
    return programFolder + source;
}

std::size_t Files::AddDisk(Variant& source, Variant& target) {
    const std::string* sourceText = source.AsString();
    const std::string* targetText = target.AsString();
    if (sourceText == nullptr || targetText == nullptr) RaiseInvalid(StrInvalidArgumentType);
    if (sourceText->empty() || !IsValidTargetMask(*targetText)) RaiseInvalid(StrInvalidArgumentContent);

    const std::string mask = *targetText;
    const std::string completed = CompletedSource(*sourceText);
    if (completed != *sourceText) source = Variant(completed);

    const std::function<bool()>& stop = CurrentHostHooks().stopRequested;
    ListedNames listed;
    const std::string folder = PathFolder(completed);
    if (!fileSystem_->ListNames(folder, PathName(completed), listed, stop)) return 0;
    if (inputOptions_.kind == InputKind::Detect) OneNamePerRecording(listed);
    const std::size_t matched = listed.Size();
    listed.Keep(share_.Begin(matched), share_.End(matched));
    if (inputOptions_.eachChannel) ListChannels(folder, listed);
    if (listed.Empty()) return 0;
    std::vector<std::string_view>& names = entries_.names;
    if (listings_.size() >= RangeListing ||
        names.size() + listed.Size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw AutomationError::Platform(ErrOverflow, SourceFiles);
    }

    Freeze();
    const std::size_t first = names.size();
    const auto listing = static_cast<std::uint32_t>(listings_.size());
    listings_.push_back(Listing{folder, Variant(mask), inputOptions_});
    try {
        nameBlocks_.reserve(nameBlocks_.size() + listed.Size() / 1024 + 16);
        if (names.empty()) {
            names = listed.TakeViews();
        } else {
            names.insert(names.end(), listed.Views().begin(), listed.Views().end());
        }
        entries_.listingOf.resize(names.size(), listing);
        entries_.held.resize(names.size());
        for (std::unique_ptr<char[]>& block : listed.TakeBlocks()) nameBlocks_.push_back(std::move(block));
    } catch (...) {
        Truncate(first);
        listings_.pop_back();
        throw;
    }
    const std::size_t count = names.size();
    for (std::size_t i = first; i < count; ++i) {
        if ((i - first) % KeyStopInterval == KeyStopInterval - 1 && stop && stop()) {
            Truncate(first);
            listings_.pop_back();
            return 0;
        }
        try {
            AppendKey(i, first);
        } catch (...) {
            // A duplicate keeps the files listed before it.
            Truncate(i);
            if (i == first) listings_.pop_back();
            throw;
        }
    }
    return count - first;
}

void Files::ListChannels(const std::string& folder, ListedNames& listed) const {
    ListedNames channels;
    InputOptions first = inputOptions_;
    first.channel = 1;
    std::string path;
    for (const std::string_view name : listed.Views()) {
        path.assign(folder);
        path += name;
        const SourceOpening opening = SampleSource::Open(*fileSystem_, path, first);
        const std::int32_t count = opening.source ? opening.source->Channels() : 1;
        for (std::int32_t k = 1; k <= count; ++k) channels.Add(ChannelName(name, k));
    }
    listed = std::move(channels);
}

Variant Files::AddRange(const Variant& source, const Variant& target) {
    const ObjectRef* sourceRef = source.AsObject();
    const ObjectRef* targetRef = target.AsObject();
    if (sourceRef == nullptr || targetRef == nullptr) RaiseInvalid(StrInvalidArgumentType);
    // An object that is not a range cannot serve the channel: invalid content.
    if (!std::dynamic_pointer_cast<Range>(*sourceRef) || !std::dynamic_pointer_cast<Range>(*targetRef)) {
        RaiseInvalid(StrInvalidArgumentContent);
    }
    if (RangeCounter == std::numeric_limits<std::int32_t>::max()) {
        throw AutomationError::Platform(ErrOverflow, SourceFiles);
    }

    auto file = std::make_shared<File>(fileSystem_);
    file->SetParameters(parameters_);
    const std::string name = "Range" + std::to_string(RangeCounter) + ".xls";
    file->SetName(name);
    file->SetFormat(fftDataExcelRange);
    file->GetData().SetOutputOptions(outputOptions_);
    file->GetData().SetSource(source);
    file->GetData().SetTarget(target);

    Freeze();
    const std::size_t position = entries_.names.size();
    nameBlocks_.push_back(std::make_unique_for_overwrite<char[]>(name.size()));
    std::memcpy(nameBlocks_.back().get(), name.data(), name.size());
    try {
        entries_.names.emplace_back(nameBlocks_.back().get(), name.size());
        entries_.listingOf.push_back(RangeListing);
        entries_.held.push_back(file);
        AppendKey(position, position);
    } catch (...) {
        Truncate(position);
        throw;
    }
    ++RangeCounter;
    return Variant(ObjectRef(file));
}

void Files::AppendKey(std::size_t position, std::size_t listed) {
    FoldName(entries_.names[position], key_);
    bool held = false;
    bool heldByListing = false;
    keys_.Candidates(key_, [&](std::uint32_t other) {
        FoldName(entries_.names[other], otherKey_);
        if (otherKey_ != key_) return;
        held = true;
        if (other >= listed) heldByListing = true;
    });
    if (held && !heldByListing) throw AutomationError::Platform(ErrDuplicateKey, SourceFiles);
    keys_.Insert(key_, static_cast<std::uint32_t>(position));
    if (held) entries_.listingOf[position] |= ExactKey;
}

void Files::Truncate(std::size_t count) noexcept {
    if (entries_.names.size() <= count) return;
    entries_.names.resize(count);
    entries_.listingOf.resize(count);
    entries_.held.resize(count);
    Reindex();
}

void Files::Reindex() {
    keys_.Clear();
    for (std::size_t i = 0; i < entries_.names.size(); ++i) {
        FoldName(entries_.names[i], key_);
        keys_.Insert(key_, static_cast<std::uint32_t>(i));
    }
}

std::ptrdiff_t Files::IndexOf(const Variant& index) const {
    if (const std::string* key = index.AsString()) {
        FoldName(*key, key_);
        std::ptrdiff_t exact = -1;
        std::ptrdiff_t folded = -1;
        keys_.Candidates(key_, [&](std::uint32_t i) {
            const auto position = static_cast<std::ptrdiff_t>(i);
            if ((entries_.listingOf[i] & ExactKey) != 0) {
                if (entries_.names[i] == *key && (exact < 0 || position < exact)) exact = position;
                return;
            }
            FoldName(entries_.names[i], otherKey_);
            if (otherKey_ == key_ && (folded < 0 || position < folded)) folded = position;
        });
        return exact >= 0 ? exact : folded;
    }
    if (!index.IsNumber()) return -1;
    const double position = RoundHalfEven(index.ToDouble());
    if (!(position >= 1.0 && position <= static_cast<double>(entries_.names.size()))) return -1;
    return static_cast<std::ptrdiff_t>(position) - 1;
}

std::ptrdiff_t Files::Find(std::string_view name) const {
    if (frozen_) return -1;
    FoldName(name, key_);
    std::ptrdiff_t found = -1;
    keys_.Candidates(key_, [&](std::uint32_t i) {
        if (entries_.names[i] == name) found = static_cast<std::ptrdiff_t>(i);
    });
    return found;
}

std::shared_ptr<File> Files::MakeFile(std::size_t i) {
    std::shared_ptr<File>& held = entries_.held[i];
    if (held) return held;
    auto file = std::make_shared<File>(fileSystem_);
    PointAt(*file, entries_, i);
    held = file;
    return file;
}

// Only what differs from the file it pointed at changes, so that a spare
// File reuses its texts' storage from file to file.
void Files::PointAt(File& file, const Entries& entries, std::size_t i) {
    const Listing& listing = listings_[entries.listingOf[i] & ~ExactKey];
    const std::string_view name = entries.names[i];
    if (file.GetParameters() != parameters_) file.SetParameters(parameters_);
    file.SetName(name);
    Data& data = file.GetData();
    if (data.Format() != fftDataDiskFile) file.SetFormat(fftDataDiskFile);
    if (!(data.GetOutputOptions() == outputOptions_)) data.SetOutputOptions(outputOptions_);
    const InputOptions input = Input(entries, i);
    if (!(data.GetInputOptions() == input)) data.SetInputOptions(input);
    SourcePath(entries, i, path_);
    source_.AssignText(path_);
    data.SetSource(source_);
    data.SetTarget(listing.mask);
}

}  // namespace tavox
