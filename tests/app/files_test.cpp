#include "app/Files.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/MainModule.h"
#include "common/AutomationError.h"
#include "common/Enums.h"
#include "data/Data.h"
#include "data/FileSystem.h"
#include "data/Path.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "support/MemoryRange.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::TempDir;

const std::string InvalidType = "Invalid data type of the 'Source' or 'Target' argument";
const std::string InvalidContent = "Invalid content of the 'Source' or 'Target' argument";
constexpr std::int32_t ErrInvalidType = static_cast<std::int32_t>(0x800403EBu);
constexpr std::int32_t ErrInvalidContent = static_cast<std::int32_t>(0x800403ECu);

std::shared_ptr<Files> NewFiles() {
    auto files = std::make_shared<Files>(DefaultFileSystem());
    files->SetParameters(std::make_shared<Parameters>());
    return files;
}

Variant AddDisk(Files& files, const std::string& source, const std::string& target = "*out.*") {
    Variant s(source);
    Variant t(target);
    return files.Add(fftDataDiskFile, s, t);
}

Variant AddRanges(Files& files, Variant source, Variant target) {
    return files.Add(fftDataExcelRange, source, target);
}

Variant NewRange(std::int32_t rows = 10, std::int32_t columns = 1) {
    return Variant(ObjectRef(std::make_shared<MemoryRange>(rows, columns)));
}

Object* ObjectOf(const Variant& value) {
    const ObjectRef* ref = value.AsObject();
    return ref != nullptr ? ref->get() : nullptr;
}

bool IsNothing(const Variant& value) {
    return value.Kind() == VariantKind::Object && ObjectOf(value) == nullptr;
}

TEST(files_test, mask_adds_one_file_per_match_in_name_order) {
    TempDir dir;
    test::WriteSamples(dir.File("b.dat"), {1, 2});
    test::WriteSamples(dir.File("a.dat"), {3});
    test::WriteSamples(dir.File("c.txt"), {4});
    auto files = NewFiles();

    const Variant result = AddDisk(*files, dir.Path() + "*.dat");

    ASSERT_EQ(result.Kind(), VariantKind::Array);
    const Variant::Array& array = *result.AsArray();
    ASSERT_EQ(array.size(), 2u);
    ASSERT_EQ(files->Count(), 2);
    const auto first = files->Item(Variant(std::int16_t{1}));
    const auto second = files->Item(Variant(std::int32_t{2}));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(ObjectOf(array[0]), first.get());
    EXPECT_EQ(ObjectOf(array[1]), second.get());
    EXPECT_EQ(first->Name(), "a.dat");
    EXPECT_EQ(second->Name(), "b.dat");
    EXPECT_EQ(files->Item(Variant("A.DAT")), first);
    EXPECT_EQ(files->Item(Variant("B.dAt")), second);
    EXPECT_EQ(*second->Source().AsString(), dir.Path() + "b.dat");
    EXPECT_EQ(*second->Target().AsString(), "*out.*");
    EXPECT_EQ(second->DataFormat(), fftDataDiskFile);
    EXPECT_EQ(second->GetData().Length(), 2);
    const auto items = files->Items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], first);
    EXPECT_EQ(items[1], second);
}

// Each channel a File of its own, named and read by its number; a SigMF
// pair (named as one) once, before the share is cut.
TEST(files_test, channels_apart_and_each_recording_once) {
    TempDir dir;
    test::WriteSamples(dir.File("a.dat"), {1, 10, 2, 20, 3, 30});
    for (const char* name : {"b.sigmf-data", "b.sigmf-meta", "c.sigmf-data"}) test::WriteSamples(dir.File(name), {0});
    auto files = NewFiles();
    InputOptions input;
    input.channels = 2;
    input.eachChannel = true;
    files->SetInputOptions(input);
    AddDisk(*files, dir.Path() + "a.dat", "*.csv");
    ASSERT_EQ(files->Count(), 2);
    for (std::int32_t k = 1; k <= 2; ++k) {
        const auto file = files->Item(Variant(k));
        EXPECT_EQ(file->Name(), "a_ch" + std::to_string(k) + ".dat");
        EXPECT_EQ(file->GetData().GetInputOptions().channel, k);
        EXPECT_EQ(file->GetData().TargetPath(0), dir.Path() + "a_ch" + std::to_string(k) + ".csv");
        EXPECT_EQ(file->GetData().TargetPath(2), dir.Path() + "a_ch" + std::to_string(k) + ".002");
        std::vector<double> samples(3);
        std::int32_t result = fftResultAllRight;
        file->GetData().Initialize(result);
        file->GetData().LoadSequence(samples, 1, result);
        const double scale = k == 1 ? 1.0 : 10.0;
        EXPECT_EQ(samples, (std::vector<double>{scale, 2 * scale, 3 * scale}));
    }

    // A run reads each channel through a spare File too, also of a file whose name holds "_ch".
    test::WriteSamples(dir.File("x_ch9.dat"), {4, 40});
    auto run = NewFiles();
    run->SetInputOptions(input);
    Variant source(dir.Path() + "x_ch9.dat");
    Variant mask(std::string("*.csv"));
    ASSERT_EQ(run->AddDisk(source, mask), 2u);
    std::shared_ptr<File> spare;
    for (std::int32_t k = 1; k <= 2; ++k) {
        const auto file = run->ForRun(static_cast<std::size_t>(k - 1), spare);
        EXPECT_EQ(file, spare);
        EXPECT_EQ(file->Name(), "x_ch9_ch" + std::to_string(k) + ".dat");
        EXPECT_EQ(*file->Source().AsString(), dir.Path() + "x_ch9.dat");
        EXPECT_EQ(run->InputAt(static_cast<std::size_t>(k - 1)), file->GetData().GetInputOptions());
        EXPECT_EQ(file->GetData().TargetPath(0), dir.Path() + "x_ch9_ch" + std::to_string(k) + ".csv");
        std::vector<double> sample(1);
        std::int32_t result = fftResultAllRight;
        file->GetData().Initialize(result);
        file->GetData().LoadSequence(sample, 1, result);
        EXPECT_EQ(sample[0], k == 1 ? 4.0 : 40.0);
    }

    auto recordings = NewFiles();
    recordings->SetShare(BatchShare{1, 2});
    AddDisk(*recordings, dir.Path() + "*.sigmf-*");
    ASSERT_EQ(recordings->Count(), 1);
    EXPECT_EQ(recordings->Item(Variant(std::int32_t{1}))->Name(), "c.sigmf-data");
}

TEST(files_test, result_is_nothing_one_file_or_an_array) {
    TempDir dir;
    for (const char* name : {"a.dat", "b.dat", "c.dat"}) test::WriteSamples(dir.File(name), {1});
    auto files = NewFiles();

    const Variant one = AddDisk(*files, dir.Path() + "a.dat");
    ASSERT_EQ(one.Kind(), VariantKind::Object);
    EXPECT_EQ(ObjectOf(one), files->Item(Variant("a.dat")).get());

    EXPECT_TRUE(IsNothing(AddDisk(*files, dir.Path() + "*.none")));
    EXPECT_TRUE(IsNothing(AddDisk(*files, dir.Path() + "missing/*.dat")));
    EXPECT_EQ(files->Count(), 1);

    EXPECT_TRUE(IsNothing(AddDisk(*files, dir.Path() + "[bc].dat"))) << "only * and ? are wildcards";

    auto fresh = NewFiles();
    const Variant three = AddDisk(*fresh, dir.Path() + "?.dat");
    ASSERT_EQ(three.Kind(), VariantKind::Array);
    ASSERT_EQ(three.AsArray()->size(), 3u);
    for (std::int32_t i = 0; i < 3; ++i) EXPECT_EQ(ObjectOf((*three.AsArray())[i]), fresh->Item(Variant(i + 1)).get());
}

TEST(files_test, duplicate_key_raises_and_keeps_files_added_before_it) {
    TempDir dir;
    test::WriteSamples(dir.File("a.dat"), {1});
    test::WriteSamples(dir.File("b.dat"), {1});
    auto files = NewFiles();
    AddDisk(*files, dir.Path() + "*.dat");

    EXPECT_AUTOMATION_ERROR(AddDisk(*files, dir.Path() + "*.dat"), ErrDuplicateKey, SourceFiles,
                            "This key is already associated with an element of this collection");
    EXPECT_EQ(files->Count(), 2);

    // Names differing in case only are one key, also on a case-sensitive file
    // system, when they come from different listings.
    TempDir other;
    for (const char* name : {"A.dat", "B.dat", "C.dat"}) test::WriteSamples(other.File(name), {1});
    auto fresh = NewFiles();
    AddDisk(*fresh, dir.Path() + "b.dat");
    EXPECT_AUTOMATION_NUMBER(AddDisk(*fresh, other.Path() + "*.dat"), ErrDuplicateKey);
    ASSERT_EQ(fresh->Count(), 2);
    EXPECT_EQ(fresh->Item(Variant(2))->Name(), "A.dat");
}

// Two files of one folder whose names differ in case only are two files on
// Linux: both are taken, the second under its exact name.
TEST(files_test, case_twins_of_one_listing_are_all_taken) {
    TempDir dir;
    for (const char* name : {"a.dat", "A.dat", "b.dat", "ŽÁK.dat", "žák.dat"}) test::WriteSamples(dir.File(name), {1});
    auto files = NewFiles();
    AddDisk(*files, dir.Path() + "*.dat");
    ASSERT_EQ(files->Count(), 5);
    std::vector<std::string> names;
    for (const auto& file : files->Items()) names.push_back(file->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"A.dat", "a.dat", "b.dat", "ŽÁK.dat", "žák.dat"}));
    EXPECT_EQ(files->Item(Variant("a.dat"))->Name(), "a.dat");
    EXPECT_EQ(files->Item(Variant("A.DAT"))->Name(), "A.dat");
    EXPECT_EQ(files->Item(Variant("B.DAT"))->Name(), "b.dat");
    EXPECT_EQ(files->Item(Variant("žák.dat"))->Name(), "žák.dat");
    EXPECT_EQ(files->Item(Variant("Žák.dat"))->Name(), "ŽÁK.dat");

    // Another listing still meets the held keys, and a removed twin frees nothing else.
    EXPECT_AUTOMATION_NUMBER(AddDisk(*files, dir.Path() + "A.dat"), ErrDuplicateKey);
    files->Remove(Variant("a.dat"));
    EXPECT_EQ(files->Count(), 4);
    EXPECT_AUTOMATION_NUMBER(AddDisk(*files, dir.Path() + "a.dat"), ErrDuplicateKey);
    files->Remove(Variant("a.dat"));
    EXPECT_EQ(files->Count(), 3);
    EXPECT_EQ(AddDisk(*files, dir.Path() + "a.dat").Kind(), VariantKind::Object);
}

TEST(files_test, keys_fold_czech_letters) {
    TempDir dir;
    test::WriteSamples(dir.File("Příliš žluťoučký kůň.dat"), {1});
    test::WriteSamples(dir.File("ĎÁBEL.dat"), {1});
    auto files = NewFiles();
    AddDisk(*files, dir.Path() + "*.dat");
    ASSERT_EQ(files->Count(), 2);

    EXPECT_EQ(files->Item(Variant("PŘÍLIŠ ŽLUŤOUČKÝ KŮŇ.DAT"))->Name(), "Příliš žluťoučký kůň.dat");
    EXPECT_EQ(files->Item(Variant("ďábel.DAT"))->Name(), "ĎÁBEL.dat");
    EXPECT_EQ(files->Item(Variant("dabel.dat")), nullptr) << "accents are not dropped";
    test::WriteSamples(dir.File("ďábel.dat"), {1});
    EXPECT_AUTOMATION_NUMBER(AddDisk(*files, dir.Path() + "ďábel.dat"), ErrDuplicateKey);
}

TEST(files_test, relative_mask_is_completed_with_the_program_folder) {
    TempDir dir;
    test::WriteSamples(dir.File("x.dat"), {1, 2, 3});
    SetProgramFolder(dir.Path());
    auto files = NewFiles();
    Variant source("*.dat");
    Variant target("*.res");

    const Variant result = files->Add(fftDataDiskFile, source, target);
    SetProgramFolder({});

    EXPECT_EQ(*source.AsString(), dir.Path() + "*.dat");
    EXPECT_EQ(*target.AsString(), "*.res");
    ASSERT_EQ(files->Count(), 1);
    EXPECT_EQ(ObjectOf(result), files->Item(Variant(1)).get());
    EXPECT_EQ(*files->Item(Variant(1))->Source().AsString(), dir.Path() + "x.dat");
}

TEST(files_test, output_options_reach_the_files_held_and_the_files_added_later) {
    TempDir dir;
    test::WriteSamples(dir.File("a.dat"), {1});
    test::WriteSamples(dir.File("b.dat"), {1});
    auto files = NewFiles();
    AddDisk(*files, dir.File("a.dat"));
    OutputOptions options;
    options.format = OutputFormat::Npy;
    options.rate = 8000.0;
    options.average = AverageMode::Median;
    files->SetOutputOptions(options);
    AddDisk(*files, dir.File("b.dat"));
    for (const auto& file : files->Items()) {
        const OutputOptions& held = file->GetData().GetOutputOptions();
        EXPECT_EQ(held.format, OutputFormat::Npy) << file->Name();
        EXPECT_EQ(held.rate, 8000.0);
        EXPECT_EQ(held.average, AverageMode::Median);
    }
    EXPECT_EQ(NewFiles()->GetOutputOptions().format, OutputFormat::Raw);
}

TEST(files_test, disk_arguments_are_checked_before_listing) {
    TempDir dir;
    test::WriteSamples(dir.File("a.dat"), {1});
    auto files = NewFiles();
    const std::string mask = dir.Path() + "*.dat";

    for (const char* target : {"*out?.*", "**.dat", ""}) {
        SCOPED_TRACE(target);
        EXPECT_AUTOMATION_ERROR(AddDisk(*files, mask, target), ErrInvalidContent, SourceFiles, InvalidContent);
    }
    EXPECT_AUTOMATION_ERROR(AddDisk(*files, "", "*out.*"), ErrInvalidContent, SourceFiles, InvalidContent);

    Variant number(std::int32_t{5});
    Variant target("*out.*");
    EXPECT_AUTOMATION_ERROR(files->Add(fftDataDiskFile, number, target), ErrInvalidType, SourceFiles, InvalidType);
    Variant source(mask);
    Variant empty;
    EXPECT_AUTOMATION_ERROR(files->Add(fftDataDiskFile, source, empty), ErrInvalidType, SourceFiles, InvalidType);
    EXPECT_EQ(*source.AsString(), mask);
    EXPECT_EQ(files->Count(), 0);
}

TEST(files_test, target_mask_validity) {
    for (const char* valid : {"*out.*", "*.txt", "res_*", "sig", "/out/*.res", "a*/b*.c*", "."}) {
        EXPECT_TRUE(Files::IsValidTargetMask(valid)) << valid;
    }
    for (const char* invalid : {"", "*x*.dat", "a.**", "*?.dat", "dir?/a.dat", "**"}) {
        EXPECT_FALSE(Files::IsValidTargetMask(invalid)) << invalid;
    }
}

TEST(files_test, ranges_are_named_by_a_counter_that_never_goes_back) {
    auto files = NewFiles();
    const Variant source = NewRange(100, 1);
    const Variant target = NewRange(50, 2);

    const Variant first = AddRanges(*files, source, target);
    AddRanges(*files, NewRange(), NewRange());
    ASSERT_EQ(files->Count(), 2);
    const auto range0 = files->Item(Variant("range0.XLS"));
    ASSERT_TRUE(range0);
    EXPECT_EQ(ObjectOf(first), range0.get());
    EXPECT_EQ(range0->Name(), "Range0.xls");
    EXPECT_EQ(files->Item(Variant(2))->Name(), "Range1.xls");
    EXPECT_EQ(range0->DataFormat(), fftDataExcelRange);
    EXPECT_EQ(ObjectOf(range0->Source()), ObjectOf(source));
    EXPECT_EQ(ObjectOf(range0->Target()), ObjectOf(target));
    EXPECT_EQ(range0->GetData().Length(), 100);
    EXPECT_EQ(range0->GetData().TargetLength(), 50);

    files->Remove(Variant("Range0.xls"));
    AddRanges(*files, NewRange(), NewRange());
    ASSERT_EQ(files->Count(), 2);
    EXPECT_EQ(files->Item(Variant(1))->Name(), "Range1.xls");
    EXPECT_EQ(files->Item(Variant(2))->Name(), "Range2.xls");
}

TEST(files_test, range_arguments_must_be_range_objects) {
    auto files = NewFiles();
    EXPECT_AUTOMATION_ERROR(AddRanges(*files, Variant("A1:A10"), Variant("B1:B10")), ErrInvalidType, SourceFiles,
                            InvalidType);
    EXPECT_AUTOMATION_ERROR(AddRanges(*files, NewRange(), Variant("B1")), ErrInvalidType, SourceFiles, InvalidType);
    EXPECT_AUTOMATION_ERROR(AddRanges(*files, NewRange(), Variant::Nothing()), ErrInvalidContent, SourceFiles,
                            InvalidContent);
    EXPECT_AUTOMATION_ERROR(AddRanges(*files, Variant::Nothing(), NewRange()), ErrInvalidContent, SourceFiles,
                            InvalidContent);
    const Variant notARange(ObjectRef(std::make_shared<Parameters>()));
    EXPECT_AUTOMATION_ERROR(AddRanges(*files, notARange, NewRange()), ErrInvalidContent, SourceFiles, InvalidContent);
    EXPECT_EQ(files->Count(), 0);
    AddRanges(*files, NewRange(), NewRange());
    EXPECT_EQ(files->Item(Variant(1))->Name(), "Range0.xls") << "refused calls take no number";
}

TEST(files_test, other_file_types_add_nothing) {
    TempDir dir;
    test::WriteSamples(dir.File("a.dat"), {1});
    auto files = NewFiles();
    Variant source(dir.Path() + "*.dat");
    Variant target("*out.*");
    EXPECT_TRUE(IsNothing(files->Add(5, source, target)));
    EXPECT_TRUE(IsNothing(files->Add(-1, source, target)));
    EXPECT_EQ(files->Count(), 0);
}

TEST(files_test, item_and_remove_ignore_indices_that_match_nothing) {
    TempDir dir;
    for (const char* name : {"a.dat", "b.dat", "c.dat"}) test::WriteSamples(dir.File(name), {1});
    auto files = NewFiles();
    AddDisk(*files, dir.Path() + "*.dat");

    for (const Variant& index : {Variant(0), Variant(99), Variant(-1), Variant("none"), Variant(), Variant(true),
                                 Variant(0.4), Variant(3.5), Variant::Null()}) {
        EXPECT_EQ(files->Item(index), nullptr) << static_cast<int>(index.Kind());
    }
    // Fractional positions round half to even.
    EXPECT_EQ(files->Item(Variant(1.5))->Name(), "b.dat");
    EXPECT_EQ(files->Item(Variant(2.5))->Name(), "b.dat");
    EXPECT_EQ(files->Item(Variant(2.6f))->Name(), "c.dat");
    EXPECT_EQ(files->Item(Variant(std::uint8_t{1}))->Name(), "a.dat");

    files->Remove(Variant("none"));
    files->Remove(Variant(99));
    files->Remove(Variant());
    EXPECT_EQ(files->Count(), 3);

    files->Remove(Variant(1));
    ASSERT_EQ(files->Count(), 2);
    EXPECT_EQ(files->Item(Variant(1))->Name(), "b.dat");
    EXPECT_EQ(files->Item(Variant("a.dat")), nullptr);
    files->Remove(Variant("C.DAT"));
    ASSERT_EQ(files->Count(), 1);
    EXPECT_EQ(files->Item(Variant(1))->Name(), "b.dat");
    // A removed name can be added again.
    AddDisk(*files, dir.Path() + "a.dat");
    EXPECT_EQ(files->Item(Variant(2))->Name(), "a.dat");
}

// The host's stop test is asked while the folder is listed and the names
// are taken; whichever question answers true, nothing of the listing stays.
TEST(files_test, a_stop_while_listing_adds_nothing) {
    TempDir dir;
    for (int i = 0; i < 4100; ++i) test::WriteBytes(dir.File(std::to_string(i) + ".dat"), "");
    auto files = NewFiles();
    Variant source(dir.Path() + "*.dat");
    Variant target("*out.*");
    int asked = 0;
    int stopAt = 0;
    InstallHostHooks({nullptr, nullptr, [&] { return ++asked == stopAt; }});
    ASSERT_EQ(files->AddDisk(source, target), 4100u);
    const int questions = asked;
    EXPECT_GE(questions, 4100 / static_cast<int>(ListStopInterval) + 3) << "the names taken are asked about too";
    for (stopAt = 1; stopAt <= questions; ++stopAt) {
        auto fresh = NewFiles();
        asked = 0;
        EXPECT_EQ(fresh->AddDisk(source, target), 0u) << stopAt;
        EXPECT_EQ(fresh->Count(), 0);
        EXPECT_EQ(asked, stopAt);
    }
    InstallHostHooks({});
}

TEST(files_test, removed_file_stays_usable_by_its_holder) {
    TempDir dir;
    std::vector<std::int16_t> samples(128, 100);
    test::WriteSamples(dir.File("sig.dat"), samples);
    auto files = NewFiles();
    AddDisk(*files, dir.Path() + "sig.dat");
    std::shared_ptr<File> held = files->Item(Variant(1));

    files->Remove(Variant(1));
    files.reset();

    EXPECT_EQ(held->Name(), "sig.dat");
    EXPECT_EQ(held->Transform(), fftResultAllRight);
    const auto out = test::ReadSamples(dir.File("sigout.dat"));
    ASSERT_EQ(out.size(), 64u);
    EXPECT_EQ(out[0], 200);
}

}  // namespace
}  // namespace tavox
