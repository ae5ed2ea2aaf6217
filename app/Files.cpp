#include "app/Files.h"

#include <cmath>
#include <limits>
#include <string_view>

#include "common/AutomationError.h"
#include "common/Enums.h"
#include "common/Numeric.h"
#include "data/Data.h"
#include "data/FileSystem.h"
#include "data/Path.h"
#include "data/Range.h"
#include "data/SampleSource.h"
#include "engine/File.h"

namespace tavox {

namespace {

// Lower-case partner of a code point in Latin-1, Latin Extended-A, Greek and
// basic Cyrillic (the letters of Czech and its neighbours included); other
// code points are their own.
char32_t FoldCodePoint(char32_t c) noexcept {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : c + 0x20;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130) return U'i';
        if (c == 0x178) return 0xFF;
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if (oddUpper) return (c % 2 == 1) ? c + 1 : c;
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Key form of a name: UTF-8 letters folded to lower case; bytes that are not
// a two-byte UTF-8 sequence are kept as they are (the folded letters all
// encode in one or two bytes).
std::string FoldKey(const std::string& text) {
    std::string key;
    key.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            AppendUtf8(key, FoldCodePoint(lead));
            ++i;
            continue;
        }
        if ((lead & 0xE0) == 0xC0 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if ((next & 0xC0) == 0x80) {
                const char32_t c = (char32_t{lead & 0x1Fu} << 6) | (next & 0x3Fu);
                if (c >= 0x80) {
                    AppendUtf8(key, FoldCodePoint(c));
                    i += 2;
                    continue;
                }
            }
        }
        key += text[i];
        ++i;
    }
    return key;
}

[[noreturn]] void RaiseInvalid(std::int32_t id) {
    throw AutomationError::FromStringTable(id, SourceFiles);
}

constexpr std::string_view SigmfData = ".sigmf-data";

// The names without the .sigmf-data files whose .sigmf-meta is among them:
// a recording is read through its metadata.
std::vector<std::string> OneNamePerRecording(std::vector<std::string> names) {
    const std::unordered_set<std::string> listed(names.begin(), names.end());
    std::erase_if(names, [&listed](const std::string& name) {
        return name.size() > SigmfData.size() && name.ends_with(SigmfData) &&
               listed.contains(name.substr(0, name.size() - SigmfData.size()) + ".sigmf-meta");
    });
    return names;
}

// The name of the File that reads channel `channel` of the file `name`.
std::string ChannelName(const std::string& name, std::int32_t channel) {
    const std::string extension = Extension(name);
    return BaseName(name) + "_ch" + std::to_string(channel) + (extension.empty() ? "" : "." + extension);
}

// The result of one Add: no object, the one File, or an array of them.
Variant AddResult(const std::vector<std::shared_ptr<File>>& added) {
    if (added.empty()) return Variant::Nothing();
    if (added.size() == 1) return Variant(ObjectRef(added.front()));
    Variant::Array array;
    array.reserve(added.size());
    for (const auto& file : added) array.emplace_back(ObjectRef(file));
    return Variant(std::move(array));
}

}  // namespace

Files::Files(std::shared_ptr<FileSystem> fileSystem) : fileSystem_(std::move(fileSystem)) {
    if (!fileSystem_) fileSystem_ = DefaultFileSystem();
}

std::int32_t Files::Count() const noexcept {
    return static_cast<std::int32_t>(items_.size());
}

std::shared_ptr<File> Files::Item(const Variant& index) const {
    const std::ptrdiff_t i = IndexOf(index);
    return i < 0 ? nullptr : items_[static_cast<std::size_t>(i)];
}

Variant Files::Add(std::int32_t fileType, Variant& source, Variant& target) {
    switch (fileType) {
        case fftDataDiskFile:
            return AddDiskFiles(source, target);
        case fftDataExcelRange:
            return AddRange(source, target);
        default:
            return Variant::Nothing();
    }
}

void Files::Remove(const Variant& index) {
    const std::ptrdiff_t i = IndexOf(index);
    if (i < 0) return;
    const Key& key = keys_[static_cast<std::size_t>(i)];
    const auto held = held_.find(key.exact ? FoldKey(key.text) : key.text);
    if (held != held_.end() && --held->second <= 0) held_.erase(held);
    items_.erase(items_.begin() + i);
    keys_.erase(keys_.begin() + i);
}

void Files::SetOutputOptions(const OutputOptions& options) noexcept {
    outputOptions_ = options;
    for (const auto& file : items_) file->GetData().SetOutputOptions(options);
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

Variant Files::AddDiskFiles(Variant& source, Variant& target) {
    const std::string* sourceText = source.AsString();
    const std::string* targetText = target.AsString();
    if (sourceText == nullptr || targetText == nullptr) RaiseInvalid(StrInvalidArgumentType);
    if (sourceText->empty() || !IsValidTargetMask(*targetText)) RaiseInvalid(StrInvalidArgumentContent);

    const std::string mask = *targetText;
    const std::string completed = CompletedSource(*sourceText);
    if (completed != *sourceText) source = Variant(completed);

    const std::string folder = PathFolder(completed);
    std::vector<std::string> matched = fileSystem_->List(folder, PathName(completed));
    if (inputOptions_.kind == InputKind::Detect) matched = OneNamePerRecording(std::move(matched));
    const std::vector<std::string> names(matched.begin() + static_cast<std::ptrdiff_t>(share_.Begin(matched.size())),
                                         matched.begin() + static_cast<std::ptrdiff_t>(share_.End(matched.size())));
    std::vector<std::shared_ptr<File>> added;
    added.reserve(names.size());
    std::unordered_set<std::string> listed;  // folded keys of this listing
    const Variant maskValue(mask);
    for (const std::string& name : names) {
        if (!inputOptions_.eachChannel) {
            added.push_back(NewDiskFile(name, folder + name, maskValue, inputOptions_));
            Append(added.back(), name, &listed);
            listed.insert(FoldKey(name));
            continue;
        }
        for (const std::int32_t channel : ChannelsToRead(folder + name)) {
            InputOptions input = inputOptions_;
            input.channel = channel;
            const std::string key = ChannelName(name, channel);
            added.push_back(NewDiskFile(key, folder + name, maskValue, input));
            Append(added.back(), key, &listed);
            listed.insert(FoldKey(key));
        }
    }
    return AddResult(added);
}

std::shared_ptr<File> Files::NewDiskFile(const std::string& name, const std::string& path, const Variant& mask,
                                         const InputOptions& input) const {
    auto file = std::make_shared<File>(fileSystem_);
    file->SetParameters(parameters_);
    file->SetName(name);
    file->SetFormat(fftDataDiskFile);
    file->GetData().SetOutputOptions(outputOptions_);
    file->GetData().SetInputOptions(input);
    file->GetData().SetSource(Variant(path));
    file->GetData().SetTarget(mask);
    return file;
}

std::vector<std::int32_t> Files::ChannelsToRead(const std::string& path) const {
    InputOptions first = inputOptions_;
    first.channel = 1;
    const SourceOpening opening = SampleSource::Open(*fileSystem_, path, first);
    const std::int32_t channels = opening.source ? opening.source->Channels() : 1;
    std::vector<std::int32_t> numbers(static_cast<std::size_t>(channels));
    for (std::int32_t k = 0; k < channels; ++k) numbers[static_cast<std::size_t>(k)] = k + 1;
    return numbers;
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
    ++RangeCounter;
    file->SetName(name);
    file->SetFormat(fftDataExcelRange);
    file->GetData().SetOutputOptions(outputOptions_);
    file->GetData().SetSource(source);
    file->GetData().SetTarget(target);
    Append(file, name);
    return Variant(ObjectRef(file));
}

void Files::Append(const std::shared_ptr<File>& file, const std::string& key,
                   const std::unordered_set<std::string>* twins) {
    const std::string folded = FoldKey(key);
    const bool twin = held_.contains(folded);
    if (twin && (twins == nullptr || !twins->contains(folded))) {
        throw AutomationError::Platform(ErrDuplicateKey, SourceFiles);
    }
    Key entry{twin ? key : folded, twin};
    items_.push_back(file);
    try {
        keys_.push_back(std::move(entry));
        try {
            ++held_[folded];
        } catch (...) {
            keys_.pop_back();
            throw;
        }
    } catch (...) {
        items_.pop_back();
        throw;
    }
}

std::ptrdiff_t Files::IndexOf(const Variant& index) const {
    if (const std::string* key = index.AsString()) {
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (keys_[i].exact && keys_[i].text == *key) return static_cast<std::ptrdiff_t>(i);
        }
        const std::string folded = FoldKey(*key);
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (!keys_[i].exact && keys_[i].text == folded) return static_cast<std::ptrdiff_t>(i);
        }
        return -1;
    }
    if (!index.IsNumber()) return -1;
    const double position = RoundHalfEven(index.ToDouble());
    if (!(position >= 1.0 && position <= static_cast<double>(items_.size()))) return -1;
    return static_cast<std::ptrdiff_t>(position) - 1;
}

}  // namespace tavox
