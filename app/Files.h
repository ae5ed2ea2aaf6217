#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/NameKeys.h"
#include "common/InputOptions.h"
#include "common/Object.h"
#include "common/OutputOptions.h"
#include "common/Variant.h"
#include "data/BatchShare.h"

namespace tavox {

class File;
class FileSystem;
class ListedNames;
class Parameters;

// The files of a batch, in order of addition, keyed by name without regard
// to letter case (see FoldName). Files of one listing whose names differ in
// case only (two files on a case-sensitive file system) are all taken: the
// first by its folded name, each further one by its exact name. Raises
// AutomationError with source "TAVOX.Files".
//
// A disk file is kept as its name and its listing (folder and output mask),
// some 70 bytes beside its name; its File object is made when one is asked
// for (Item, Items, Add's result) and then held, with the results of its
// transforms, for as long as the collection holds the file. A batch run
// points one spare File at each file that has none (ForRun); a file whose
// File nobody asked for keeps no results of the run.
class Files : public Object {
public:
    explicit Files(std::shared_ptr<FileSystem> fileSystem);
    ~Files() override;

    std::int32_t Count() const noexcept;
    // A 1-based position (any number kind) or a key (a text: the exact name
    // of a case twin, else any letter case); nullptr when nothing matches.
    std::shared_ptr<File> Item(const Variant& index);
    // The File objects in collection order (a snapshot for iteration).
    std::vector<std::shared_ptr<File>> Items();

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
    // earlier Add (the files listed before it stay added).
    Variant Add(std::int32_t fileType, Variant& source, Variant& target);
    // Add for fftDataDiskFile without making File objects; returns how many
    // files it added. The host's stop test (HostHooks::stopRequested) is
    // asked while the folder is listed and the names are taken: once it
    // answers true, nothing of this listing is added.
    std::size_t AddDisk(Variant& source, Variant& target);
    // Removes by position or key; an index that matches nothing is ignored.
    void Remove(const Variant& index);

    void SetParameters(std::shared_ptr<Parameters> parameters) { parameters_ = std::move(parameters); }
    // The settings every File of the collection reads.
    const std::shared_ptr<Parameters>& GetParameters() const noexcept { return parameters_; }

    // Which share of the files a disk mask matches (in name order) later
    // additions keep; the whole list by default.
    const BatchShare& Share() const noexcept { return share_; }
    void SetShare(const BatchShare& share) noexcept { share_ = share; }

    // Output options of every File held and of every File made later.
    const OutputOptions& GetOutputOptions() const noexcept { return outputOptions_; }
    void SetOutputOptions(const OutputOptions& options) noexcept;
    // Input options of every disk File added later; those held keep the
    // options they were listed with.
    const InputOptions& GetInputOptions() const noexcept { return inputOptions_; }
    void SetInputOptions(const InputOptions& options) noexcept { inputOptions_ = options; }

    // A batch run goes through the files by 0-based position below
    // RunCount, between BeginRun and EndRun; an Add or Remove meanwhile (by a
    // handler) changes the collection, not the files of the run, which are
    // then copied aside. The name, and for a disk file its folder (ending in
    // "/") and output mask, as added.
    void BeginRun() noexcept { ++runs_; }
    void EndRun() noexcept;
    std::size_t RunCount() const noexcept { return Run().names.size(); }
    std::string_view NameAt(std::size_t i) const noexcept { return Run().names[i]; }
    bool IsDiskAt(std::size_t i) const noexcept;
    std::string_view FolderAt(std::size_t i) const noexcept;
    const Variant& MaskAt(std::size_t i) const noexcept;
    // The path of the disk file the position reads (its folder and name,
    // but the file's name for a channel of a file), written into `path`, and
    // the input options it reads it with.
    void SourcePathAt(std::size_t i, std::string& path) const;
    InputOptions InputAt(std::size_t i) const noexcept;
    // The position of the file named exactly `name` (names are unique); -1
    // for none, and during a run that Add or Remove changed.
    std::ptrdiff_t Find(std::string_view name) const;
    // The File held for the position; nullptr when none was made.
    const std::shared_ptr<File>& HeldAt(std::size_t i) const noexcept { return Run().held[i]; }
    // The File a run transforms for the position: the one held, else `spare`
    // (made when empty) pointed at the position's disk file.
    std::shared_ptr<File> ForRun(std::size_t i, std::shared_ptr<File>& spare);
    // Holds `file`, pointed at the position by ForRun, as its File from now
    // on (while the collection holds it).
    void Hold(std::size_t i, std::shared_ptr<File> file) noexcept;

    // True when all of: not empty, no "?", at most one "*" in the base name
    // and at most one in the extension.
    static bool IsValidTargetMask(const std::string& mask);
    // A disk source as Add lists it: a relative one is taken under the program folder.
    static std::string CompletedSource(const std::string& source);

private:
    struct Listing {
        std::string folder;
        Variant mask;
        InputOptions input;  // with eachChannel, each name tells its channel
    };
    static constexpr std::uint32_t RangeListing = 0x7FFFFFFF;
    static constexpr std::uint32_t ExactKey = 0x80000000;  // keyed by its exact name
    // Parallel arrays, one element a file.
    struct Entries {
        std::vector<std::string_view> names;
        std::vector<std::uint32_t> listingOf;  // index into listings_ (or RangeListing), with ExactKey
        std::vector<std::shared_ptr<File>> held;
    };
    const Entries& Run() const noexcept { return frozen_ ? *frozen_ : entries_; }
    // Before a change during a run: keeps the run's files aside.
    void Freeze();

    Variant AddRange(const Variant& source, const Variant& target);
    Variant Added(std::size_t first);
    // Adds `position` to the keys; the listing that added it began at
    // `listed`. A key held from before raises the duplicate-key error unless
    // this listing holds it, and the name is then keyed exactly.
    void AppendKey(std::size_t position, std::size_t listed);
    // Drops positions from `count` on and indexes the rest again.
    void Truncate(std::size_t count) noexcept;
    void Reindex();
    std::ptrdiff_t IndexOf(const Variant& index) const;
    // The names of `listed` replaced by those of their channels' Files.
    void ListChannels(const std::string& folder, ListedNames& listed) const;
    void SourcePath(const Entries& entries, std::size_t i, std::string& path) const;
    InputOptions Input(const Entries& entries, std::size_t i) const noexcept;
    std::shared_ptr<File> MakeFile(std::size_t i);
    void PointAt(File& file, const Entries& entries, std::size_t i);

    std::shared_ptr<FileSystem> fileSystem_;
    std::shared_ptr<Parameters> parameters_;
    OutputOptions outputOptions_;
    InputOptions inputOptions_;
    BatchShare share_;
    Entries entries_;
    std::unique_ptr<Entries> frozen_;  // the files of the run in progress, once changed
    std::int32_t runs_ = 0;
    std::vector<Listing> listings_;
    std::vector<std::unique_ptr<char[]>> nameBlocks_;  // the text of names_
    NameKeyIndex keys_;
    mutable std::string key_;  // reused buffers
    mutable std::string otherKey_;
    std::string path_;
    Variant source_;
    std::int32_t RangeCounter = 0;
};

}  // namespace tavox
