#include <memory>
#include <string>

#include "fuzz/FuzzInput.h"
#include "fuzz/MemoryFileSystem.h"
#include "fuzz/Targets.h"
#include "ui/settings/PrivateProfile.h"

namespace tavox::fuzz {
namespace {

constexpr const char* ProfilePath = "/tavox.ini";

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
    auto fileSystem = std::make_shared<MemoryFileSystem>();
    const auto* bytes = reinterpret_cast<const std::byte*>(file.data());
    fileSystem->Put(ProfilePath, MemoryFileSystem::Bytes(bytes, bytes + file.size()));
    const PrivateProfile profile(ProfilePath, fileSystem);
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
