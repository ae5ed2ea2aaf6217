#include "data/Path.h"

#include <gtest/gtest.h>

#include <string>

#include "data/FileSystem.h"

namespace tavox {
namespace {

TEST(path_test, name_folder_base_and_extension) {
    struct Case {
        const char* path;
        const char* name;
        const char* folder;
        const char* base;
        const char* extension;
    };
    const Case cases[] = {
        {"/data/sig.dat", "sig.dat", "/data/", "sig", "dat"},
        {"/data.d/sig", "sig", "/data.d/", "sig", ""},
        {"/a/archive.tar.gz", "archive.tar.gz", "/a/", "archive.tar", "gz"},
        {"/a/.profile", ".profile", "/a/", "", "profile"},
        {"/a/name.", "name.", "/a/", "name", ""},
        {"/a/", "", "/a/", "", ""},
        {"plain.txt", "plain.txt", "", "plain", "txt"},
        {"/", "", "/", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(PathName(c.path), c.name);
        EXPECT_EQ(PathFolder(c.path), c.folder);
        EXPECT_EQ(BaseName(c.path), c.base);
        EXPECT_EQ(Extension(c.path), c.extension);
    }
}

TEST(path_test, join_puts_exactly_one_separator) {
    EXPECT_EQ(JoinPath("/data", "sig.dat"), "/data/sig.dat");
    EXPECT_EQ(JoinPath("/data/", "sig.dat"), "/data/sig.dat");
    EXPECT_EQ(JoinPath("/data//", "/sig.dat"), "/data/sig.dat");
    EXPECT_EQ(JoinPath("/", "sig.dat"), "/sig.dat");
    EXPECT_EQ(JoinPath("", "sig.dat"), "sig.dat");
    EXPECT_EQ(JoinPath("rel", "sub/x"), "rel/sub/x");
}

TEST(path_test, wildcard_star_and_question_mark) {
    struct Case {
        const char* name;
        const char* pattern;
        bool matches;
    };
    const Case cases[] = {
        {"a.dat", "*.dat", true},
        {"a.dat.bak", "*.dat", false},
        {"a.dat", "?.dat", true},
        {"ab.dat", "?.dat", false},
        {".dat", "*.dat", true},
        {"", "*", true},
        {"", "", true},
        {"a", "", false},
        {"", "?", false},
        {"a.dat", "*.DAT", false},
        {"axxbyyc", "a*b*c", true},
        {"axxbyy", "a*b*c", false},
        {"abc", "**", true},
        {"abc", "*?", true},
        {"", "*?", false},
        {"sig", "*.*", false},
        {"sig.dat", "*.*", true},
        {"a*b", "a*b", true},
        {"mississippi", "m*iss*ppi", true},
        {"mississippi", "m*si*?pi", true},
        {"abcabd", "*abd", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesWildcard(c.name, c.pattern), c.matches) << c.name << " ~ " << c.pattern;
    }
}

TEST(path_test, wildcard_with_many_stars_on_a_long_name_does_not_backtrack_exponentially) {
    const std::string name(5000, 'a');
    EXPECT_FALSE(MatchesWildcard(name, "*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(MatchesWildcard(name + "b", "*a*a*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(path_test, program_folder_holds_the_executable_unless_overridden) {
    const std::string own = ProgramFolder();
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.front(), '/');
    EXPECT_EQ(own.back(), '/');
    EXPECT_EQ(ProgramName(), "data_test");
    EXPECT_TRUE(DefaultFileSystem()->FileExists(own + ProgramName()));

    SetProgramFolder("/opt/module");
    EXPECT_EQ(ProgramFolder(), "/opt/module/");
    SetProgramFolder("");
    EXPECT_EQ(ProgramFolder(), own);
}

}  // namespace
}  // namespace tavox
