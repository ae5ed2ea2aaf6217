#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/InputOptions.h"
#include "common/Object.h"
#include "common/OutputOptions.h"
#include "common/Variant.h"
#include "data/BatchShare.h"

namespace tavox {

class File;
class FileSystem;
class Parameters;

// The File objects of a batch, in order of addition, keyed by name without
// regard to letter case: ASCII and the UTF-8 letters of Latin-1, Latin
// Extended-A (Czech included), Greek and basic Cyrillic are folded; other
// bytes compare exactly. Files of one listing whose names differ in case only
// (two files on a case-sensitive file system) are all taken: the first by
// its folded name, each further one by its exact name. Raises AutomationError
// with source "TAVOX.Files".
class Files : public Object {
public:
    explicit Files(std::shared_ptr<FileSystem> fileSystem);

    std::int32_t Count() const noexcept;
    // A 1-based position (any number kind) or a key (a text: the exact name
    // of a case twin, else any letter case); nullptr when nothing matches.
    std::shared_ptr<File> Item(const Variant& index) const;
    // The held File objects in collection order (a snapshot for iteration).
    std::vector<std::shared_ptr<File>> Items() const { return items_; }

    // fftDataDiskFile: expands the mask `source` (completed with the program
    // folder when relative, written back into `source`) into one File per
    // matching file of the share (see SetShare) with the output mask
    // `target` and the input options. The .sigmf-data file of a SigMF
    // recording whose .sigmf-meta is listed too is left out, so that each
    // recording is taken once. With InputOptions::eachChannel a file gives
    // one File per channel it holds (one when it cannot be opened), named
    // "<name>_ch<K>.<extension>", each reading its channel.
    // fftDataExcelRange: one File for a pair of Range objects. Returns
    // Nothing, one File, or an array of File objects. Errors 1003 and 1004,
    // and the duplicate-key error (457) for a name whose key is held from an
    // earlier Add.
    Variant Add(std::int32_t fileType, Variant& source, Variant& target);
    // Removes by position or key; an index that matches nothing is ignored.
    void Remove(const Variant& index);

    void SetParameters(std::shared_ptr<Parameters> parameters) { parameters_ = std::move(parameters); }
    // The settings every File of the collection reads.
    const std::shared_ptr<Parameters>& GetParameters() const noexcept { return parameters_; }

    // Which share of the files a disk mask matches (in name order) later
    // additions keep; the whole list by default.
    const BatchShare& Share() const noexcept { return share_; }
    void SetShare(const BatchShare& share) noexcept { share_ = share; }

    // Output options of every File held and of every File added later.
    const OutputOptions& GetOutputOptions() const noexcept { return outputOptions_; }
    void SetOutputOptions(const OutputOptions& options) noexcept;
    // Input options of every disk File added later; those held keep the
    // options they were listed with.
    const InputOptions& GetInputOptions() const noexcept { return inputOptions_; }
    void SetInputOptions(const InputOptions& options) noexcept { inputOptions_ = options; }

    // True when all of: not empty, no "?", at most one "*" in the base name
    // and at most one in the extension.
    static bool IsValidTargetMask(const std::string& mask);
    // A disk source as Add lists it: a relative one is taken under the program folder.
    static std::string CompletedSource(const std::string& source);

private:
    Variant AddDiskFiles(Variant& source, Variant& target);
    std::shared_ptr<File> NewDiskFile(const std::string& name, const std::string& path, const Variant& mask,
                                      const InputOptions& input) const;
    // The channels each File of `path` reads: options.channel, or every one.
    std::vector<std::int32_t> ChannelsToRead(const std::string& path) const;
    Variant AddRange(const Variant& source, const Variant& target);
    struct Key {
        std::string text;  // folded, or the exact name of a case twin
        bool exact;
    };
    // Adds under the folded key; a folded key that is held raises the
    // duplicate-key error unless `twins` (the folded keys of this listing)
    // holds it, and the file is then keyed by its exact name.
    void Append(const std::shared_ptr<File>& file, const std::string& key,
                const std::unordered_set<std::string>* twins = nullptr);
    std::ptrdiff_t IndexOf(const Variant& index) const;

    std::shared_ptr<FileSystem> fileSystem_;
    std::shared_ptr<Parameters> parameters_;
    OutputOptions outputOptions_;
    InputOptions inputOptions_;
    BatchShare share_;
    std::vector<std::shared_ptr<File>> items_;
    std::vector<Key> keys_;                               // parallel to items_
    std::unordered_map<std::string, std::int32_t> held_;  // folded keys, with the number of items under each
    std::int32_t RangeCounter = 0;
};

}  // namespace tavox
