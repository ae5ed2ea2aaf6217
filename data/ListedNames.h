#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace tavox {

// Many short names (the entries of a folder) kept in a few large blocks:
// each name costs its bytes and a view of 16 bytes, with no allocation of its
// own. The views stay valid, moves of the list included, until the list is
// cleared or destroyed; blocks taken from it (TakeBlocks) keep them valid
// for their new owner.
class ListedNames {
public:
    ListedNames() = default;
    ListedNames(ListedNames&&) noexcept = default;
    ListedNames& operator=(ListedNames&&) noexcept = default;

    void Add(std::string_view name);
    std::size_t Size() const noexcept { return views_.size(); }
    bool Empty() const noexcept { return views_.empty(); }
    std::string_view operator[](std::size_t i) const noexcept { return views_[i]; }
    std::span<const std::string_view> Views() const noexcept { return views_; }

    // Puts the names in byte order, as std::string compares them.
    void Sort();
    // Keeps the names of positions [begin, end) only.
    void Keep(std::size_t begin, std::size_t end);
    void Clear() noexcept;

    // For a new owner of the names: the views, then the blocks they point
    // into; the list is empty afterwards.
    std::vector<std::string_view> TakeViews() noexcept;
    std::vector<std::unique_ptr<char[]>> TakeBlocks() noexcept;

private:
    static constexpr std::size_t BlockBytes = 64 * 1024;

    std::vector<std::unique_ptr<char[]>> blocks_;
    char* next_ = nullptr;  // free room of the last block
    std::size_t room_ = 0;
    std::vector<std::string_view> views_;
};

}  // namespace tavox
