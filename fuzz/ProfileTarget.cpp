#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/FuzzInput.h"
#include "fuzz/Targets.h"
#include "ui/settings/PrivateProfile.h"

namespace tavox::fuzz {
namespace {

// A settings file of this process in a private folder, in memory where
// possible; the folder goes when the process ends.
class ProfileFolder {
public:
    ProfileFolder() {
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        folder_ = base / ("tavox-fuzz-profile-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        path_ = (folder_ / "tavox.ini").string();
    }
    ~ProfileFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::string& Path() const noexcept { return path_; }

private:
    std::filesystem::path folder_;
    std::string path_;
};

const std::string& ProfilePath() {
    static const ProfileFolder folder;
    return folder.Path();
}

bool Plain(const std::string& value) {
    return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

}  // namespace

int PrivateProfileText(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::string section = input.TakeText(32);
    const std::string key = input.TakeText(32);
    const std::string value = input.TakeText(300);
    const std::string file = input.TakeRest();
    {
        std::ofstream out(ProfilePath(), std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
    }
    const PrivateProfile profile(ProfilePath());
    const std::string read = profile.Read(section, key, "fallback");
    FUZZ_CHECK(read.size() <= PrivateProfile::MaxValueChars * 4);
    FUZZ_CHECK(read.find('\0') == std::string::npos);
    const std::string other = profile.Read("Keep", "Other", "fallback");

    if (!profile.Write(section, key, value)) return 0;
    // The written value reads back, and a key of another section stays as it was.
    if (Plain(value) && value.size() <= PrivateProfile::MaxValueChars) FUZZ_CHECK(profile.Read(section, key) == value);
    std::string folded = section;
    for (char& c : folded) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (folded != "keep") FUZZ_CHECK(profile.Read("Keep", "Other", "fallback") == other);
    return 0;
}

}  // namespace tavox::fuzz
