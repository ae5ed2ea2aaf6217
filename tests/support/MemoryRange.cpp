#include "support/MemoryRange.h"

namespace tavox {

Variant MemoryRange::CellValue(std::int32_t row, std::int32_t column) {
    const auto found = cells_.find({row, column});
    return found == cells_.end() ? Variant() : found->second;
}

void MemoryRange::SetCellValue(std::int32_t row, std::int32_t column, const Variant& value) {
    if (value.IsEmpty()) {
        cells_.erase({row, column});
    } else {
        cells_[{row, column}] = value;
    }
}

}  // namespace tavox
