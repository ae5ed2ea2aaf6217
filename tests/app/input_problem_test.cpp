#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/InputProblem.h"
#include "data/FileSystem.h"
#include "data/Path.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::TempDir;

// Each reason a command line's input can give no file gets its own words.
TEST(input_problem_test, says_why_an_input_gave_no_file) {
    TempDir dir;
    test::WriteBytes(dir.File("a.dat"), "xx");
    test::WriteBytes(dir.File(".hidden.dat"), "xx");
    std::filesystem::create_directory(dir.File("sub.dat"));
    ASSERT_EQ(::mkfifo(dir.File("fifo.dat").c_str(), 0600), 0);
    FileSystem& fileSystem = *DefaultFileSystem();
    const auto message = [&](const std::string& source) { return NoInputMessage(fileSystem, source); };

    EXPECT_EQ(message(dir.File("*.txt")), "tavox: no input file matches \"" + dir.File("*.txt") + "\"");
    EXPECT_EQ(message(dir.File("none.dat")), "tavox: no input file matches \"" + dir.File("none.dat") + "\"");
    EXPECT_EQ(message(dir.File("gone/x.dat")), "tavox: no input file matches \"" + dir.File("gone/x.dat") + "\"");
    EXPECT_EQ(message(dir.File("sub.dat")), "tavox: \"" + dir.File("sub.dat") + "\" is a folder, not a file");
    EXPECT_EQ(message(dir.Path()), "tavox: \"" + dir.Path() + "\" is a folder, not a file");
    EXPECT_EQ(message(dir.File("fifo.dat")), "tavox: \"" + dir.File("fifo.dat") + "\" is a FIFO, not an ordinary file");
    EXPECT_EQ(message(dir.File(".hidden.dat")),
              "tavox: \"" + dir.File(".hidden.dat") + "\" is a hidden file, which is never taken as an input");
    EXPECT_EQ(message(dir.File("a.dat/*.dat")),
              "tavox: cannot list the folder \"" + dir.File("a.dat/") + "\": Not a directory");
    const std::string longName = dir.File(std::string(300, 'n'));
    EXPECT_EQ(message(longName), "tavox: cannot use \"" + longName + "\": File name too long");
    const std::string longFolder = dir.Path() + std::string(5000, 'f') + "/*.dat";
    EXPECT_EQ(message(longFolder),
              "tavox: cannot list the folder \"" + PathFolder(longFolder) + "\": File name too long");
    // Names are shown escaped.
    EXPECT_EQ(message(dir.File("x\n*.dat")), "tavox: no input file matches \"" + dir.File("x\\n*.dat") + "\"");
    // A relative input is taken under the program folder, as Files.Add takes it.
    EXPECT_EQ(message("none.dat"), "tavox: no input file matches \"" + ProgramFolder() + "none.dat\"");
}

TEST(input_problem_test, a_folder_that_cannot_be_listed_is_named) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("closed"));
    ASSERT_EQ(::chmod(dir.File("closed").c_str(), 0), 0);
    const std::string source = dir.File("closed/*.dat");
    const std::string expected = "tavox: cannot list the folder \"" + dir.File("closed/") + "\": Permission denied";
    EXPECT_TRUE(test::InChild([&] { return NoInputMessage(*DefaultFileSystem(), source) == expected; }, true));
}

}  // namespace
}  // namespace tavox
