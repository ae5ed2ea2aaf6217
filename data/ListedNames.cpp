#include "data/ListedNames.h"

#include <algorithm>
#include <cstring>

namespace tavox {

void ListedNames::Add(std::string_view name) {
    if (name.size() > room_) {
        const std::size_t bytes = std::max(BlockBytes, name.size());
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(bytes));
        next_ = blocks_.back().get();
        room_ = bytes;
    }
    if (!name.empty()) std::memcpy(next_, name.data(), name.size());
    views_.emplace_back(next_, name.size());
    next_ += name.size();
    room_ -= name.size();
}

void ListedNames::Sort() {
    std::sort(views_.begin(), views_.end());
}

void ListedNames::Keep(std::size_t begin, std::size_t end) {
    end = std::min(end, views_.size());
    begin = std::min(begin, end);
    views_.erase(views_.begin() + static_cast<std::ptrdiff_t>(end), views_.end());
    views_.erase(views_.begin(), views_.begin() + static_cast<std::ptrdiff_t>(begin));
}

void ListedNames::Clear() noexcept {
    views_.clear();
    blocks_.clear();
    next_ = nullptr;
    room_ = 0;
}

std::vector<std::string_view> ListedNames::TakeViews() noexcept {
    std::vector<std::string_view> views = std::move(views_);
    views_.clear();
    return views;
}

std::vector<std::unique_ptr<char[]>> ListedNames::TakeBlocks() noexcept {
    std::vector<std::unique_ptr<char[]>> blocks = std::move(blocks_);
    Clear();
    return blocks;
}

}  // namespace tavox
