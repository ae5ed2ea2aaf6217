#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "data/FileSystem.h"
#include "support/FaultyFileSystem.h"
#include "support/TestSupport.h"
#include "ui/settings/PrivateProfile.h"

namespace tavox {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

constexpr const char* Section = "FFT Parameters";

TEST(private_profile_test, missing_file_reads_fallback_and_write_creates_it) {
    TempDir dir;
    const PrivateProfile profile(dir.File("a.ini"), DefaultFileSystem());
    EXPECT_EQ(profile.Read(Section, "Width", "dflt"), "dflt");
    EXPECT_EQ(profile.Read(Section, "Width"), "");

    ASSERT_TRUE(profile.Write(Section, "Width", "128"));
    ASSERT_TRUE(profile.Write(Section, "Repeat", "1"));
    EXPECT_EQ(ReadBytes(dir.File("a.ini")), "[FFT Parameters]\nWidth=128\nRepeat=1\n");
    EXPECT_EQ(profile.Read(Section, "Width"), "128");
    EXPECT_EQ(profile.Read("fft parameters", "WIDTH"), "128");
    EXPECT_EQ(profile.Read("Other", "Width", "x"), "x");
}

TEST(private_profile_test, replaces_key_in_place_and_keeps_everything_else) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteBytes(path,
               "; settings\r\n[Other]\r\nWidth=7\r\n\r\n[fft parameters]\r\n  width = 100 \r\nMethod=1\r\n\r\n"
               "[Last]\r\nx=y");
    const PrivateProfile profile(path, DefaultFileSystem());
    EXPECT_EQ(profile.Read(Section, "Width"), "100");
    EXPECT_EQ(profile.Read("Other", "Width"), "7");

    ASSERT_TRUE(profile.Write(Section, "Width", "256"));
    ASSERT_TRUE(profile.Write(Section, "Phase", "True"));
    ASSERT_TRUE(profile.Write("Last", "z", "1"));
    EXPECT_EQ(ReadBytes(path),
              "; settings\r\n[Other]\r\nWidth=7\r\n\r\n[fft parameters]\r\nWidth=256\r\nMethod=1\r\nPhase=True\r\n\r\n"
              "[Last]\r\nx=y\r\nz=1\r\n");
    EXPECT_EQ(profile.Read("Other", "Width"), "7");
}

TEST(private_profile_test, values_round_trip_through_quotes_and_blanks) {
    TempDir dir;
    const PrivateProfile profile(dir.File("a.ini"), DefaultFileSystem());
    for (const std::string value :
         {"", " lead", "trail ", "\"*out.*\"", "'x'", "a=b", "C:\\data\\", "příliš žluťoučký"}) {
        ASSERT_TRUE(profile.Write(Section, "Path", value));
        EXPECT_EQ(profile.Read(Section, "Path", "missing"), value);
    }
    // A hand-written quoted value loses its quotes, as the platform reader does.
    WriteBytes(dir.File("b.ini"), "[FFT Parameters]\nOutMask=\"*out.*\"\n");
    EXPECT_EQ(PrivateProfile(dir.File("b.ini"), DefaultFileSystem()).Read(Section, "OutMask"), "*out.*");
}

TEST(private_profile_test, value_cannot_inject_lines_and_bad_names_are_refused) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    const PrivateProfile profile(path, DefaultFileSystem());
    ASSERT_TRUE(profile.Write(Section, "InMask", "*.dat\nWidth=4096\r\n[X]"));
    EXPECT_EQ(profile.Read(Section, "InMask"), "*.dat");
    EXPECT_EQ(profile.Read(Section, "Width", "none"), "none");

    const std::string before = ReadBytes(path);
    EXPECT_FALSE(profile.Write(Section, "", "1"));
    EXPECT_FALSE(profile.Write(Section, "a=b", "1"));
    EXPECT_FALSE(profile.Write(Section, "[key", "1"));
    EXPECT_FALSE(profile.Write("Sec]tion", "k", "1"));
    EXPECT_FALSE(profile.Write("", "k", "1"));
    EXPECT_EQ(ReadBytes(path), before);
}

TEST(private_profile_test, long_values_are_read_back_cut_to_254_characters) {
    TempDir dir;
    const PrivateProfile profile(dir.File("a.ini"), DefaultFileSystem());
    ASSERT_TRUE(profile.Write(Section, "Path", std::string(300, 'a')));
    EXPECT_EQ(profile.Read(Section, "Path"), std::string(254, 'a'));

    // Two-byte characters count once and are never split.
    std::string wide;
    for (int i = 0; i < 300; ++i) wide += "ž";
    ASSERT_TRUE(profile.Write(Section, "Path", wide));
    EXPECT_EQ(profile.Read(Section, "Path"), wide.substr(0, 254 * 2));
}

TEST(private_profile_test, binary_and_truncated_files_never_break_reading) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) % 256);
    WriteBytes(path, binary);
    const PrivateProfile profile(path, DefaultFileSystem());
    EXPECT_EQ(profile.Read(Section, "Width", "d"), "d");
    ASSERT_TRUE(profile.Write(Section, "Width", "512"));
    EXPECT_EQ(profile.Read(Section, "Width"), "512");
    EXPECT_EQ(ReadBytes(path).substr(0, binary.size()), binary);

    std::string truncated = "\xEF\xBB\xBF[FFT Parameters]\nWidth=12";
    truncated += '\0';
    truncated += "34\nRepeat";
    WriteBytes(path, truncated);
    EXPECT_EQ(profile.Read(Section, "Width"), "12");
    EXPECT_EQ(profile.Read(Section, "Repeat", "d"), "d");
    ASSERT_TRUE(profile.Write(Section, "Repeat", "3"));
    EXPECT_EQ(profile.Read(Section, "Repeat"), "3");
    EXPECT_EQ(ReadBytes(path).substr(0, 3), "\xEF\xBB\xBF");

    WriteBytes(path, "[FFT Parameters");
    EXPECT_EQ(profile.Read(Section, "Width", "d"), "d");
}

TEST(private_profile_test, huge_file_is_read_only_up_to_the_cap_and_never_rewritten) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    std::string text = "[FFT Parameters]\nWidth=1024\n";
    text += std::string(PrivateProfile::MaxFileBytes, 'x');
    text += "\nRepeat=5\n";
    WriteBytes(path, text);
    const PrivateProfile profile(path, DefaultFileSystem());
    EXPECT_EQ(profile.Read(Section, "Width"), "1024");
    EXPECT_EQ(profile.Read(Section, "Repeat", "d"), "d");
    EXPECT_FALSE(profile.Write(Section, "Width", "2048"));
    EXPECT_EQ(std::filesystem::file_size(path), text.size());
}

TEST(private_profile_test, unwritable_places_fail_without_side_effects) {
    TempDir dir;
    EXPECT_FALSE(PrivateProfile(dir.File("missing/a.ini"), DefaultFileSystem()).Write(Section, "Width", "1"));
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
    std::filesystem::create_directory(dir.File("folder.ini"));
    EXPECT_FALSE(PrivateProfile(dir.File("folder.ini"), DefaultFileSystem()).Write(Section, "Width", "1"));
    EXPECT_EQ(PrivateProfile(dir.File("folder.ini"), DefaultFileSystem()).Read(Section, "Width", "d"), "d");
    // No temporary file is left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(private_profile_test, failed_reads_read_as_missing_and_failed_writes_leave_the_file) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    const std::string before = "[FFT Parameters]\nWidth=128\n";
    WriteBytes(path, before);
    auto fileSystem = std::make_shared<test::FaultyFileSystem>();
    const PrivateProfile profile(path, fileSystem);

    // A file that cannot be read is never written over, for its other keys would be lost.
    fileSystem->FailEvery(test::FsCall::ReadSmallFile);
    EXPECT_EQ(profile.Read(Section, "Width", "d"), "d");
    EXPECT_FALSE(profile.Write(Section, "Repeat", "1"));
    EXPECT_EQ(fileSystem->Calls(test::FsCall::ReplaceFile), 0);
    EXPECT_EQ(ReadBytes(path), before);
    fileSystem->Heal(test::FsCall::ReadSmallFile);

    fileSystem->FailCall(test::FsCall::ReplaceFile);
    EXPECT_FALSE(profile.Write(Section, "Width", "256"));
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(profile.Read(Section, "Width"), "128");
    EXPECT_TRUE(profile.Write(Section, "Width", "256"));
    EXPECT_EQ(profile.Read(Section, "Width"), "256");
}

}  // namespace
}  // namespace tavox
