#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "data/Data.h"
#include "support/MemoryRange.h"

namespace tavox {
namespace {

// A sheet range whose members can be told to throw, as an automation call can.
class BrokenRange : public MemoryRange {
public:
    using MemoryRange::MemoryRange;
    bool throwRows = false;
    bool throwColumns = false;
    bool throwRead = false;
    bool throwWrite = false;
    int writes = 0;
    std::int32_t refusedRow = 0;  // a row whose cells refuse every value

    std::int32_t RowsCount() override {
        if (throwRows) throw std::runtime_error("Rows");
        return MemoryRange::RowsCount();
    }
    std::int32_t ColumnsCount() override {
        if (throwColumns) throw std::runtime_error("Columns");
        return MemoryRange::ColumnsCount();
    }
    Variant CellValue(std::int32_t row, std::int32_t column) override {
        if (throwRead) throw std::runtime_error("Cells");
        return MemoryRange::CellValue(row, column);
    }
    void SetCellValue(std::int32_t row, std::int32_t column, const Variant& value) override {
        ++writes;
        if (throwWrite || row == refusedRow) throw std::runtime_error("Cells");
        MemoryRange::SetCellValue(row, column, value);
    }
};

std::unique_ptr<Data> SheetData(const std::shared_ptr<Range>& source, const std::shared_ptr<Range>& target) {
    auto data = std::make_unique<Data>(nullptr);
    data->SetFormat(fftDataExcelRange);
    data->SetSource(Variant(ObjectRef(source)));
    data->SetTarget(Variant(ObjectRef(target)));
    return data;
}

std::vector<double> Spectrum(const std::vector<double>& block) {
    std::vector<double> spectrum(block);
    spectrum.resize(block.size() * 2, 1e9);
    return spectrum;
}

double Cell(Range& range, std::int32_t row, std::int32_t column) {
    const Variant value = range.CellValue(row, column);
    EXPECT_EQ(value.Kind(), VariantKind::Double) << row << "," << column;
    return value.ToDouble();
}

TEST(data_sheet_test, lengths_are_the_row_counts_and_references_are_kept) {
    auto source = std::make_shared<MemoryRange>(40, 1);
    auto target = std::make_shared<MemoryRange>(100, 3);
    auto data = SheetData(source, target);
    EXPECT_EQ(data->Length(), 40);
    EXPECT_EQ(data->TargetLength(), 100);
    EXPECT_EQ(*data->GetSource().AsObject(), source);
    EXPECT_EQ(*data->GetTarget().AsObject(), target);
    std::int32_t result = fftResultAllRight;
    data->Initialize(result);
    EXPECT_EQ(result, fftResultAllRight);

    auto broken = std::make_shared<BrokenRange>(40, 1);
    broken->throwRows = true;
    EXPECT_EQ(SheetData(broken, broken)->Length(), 0);
    EXPECT_EQ(SheetData(broken, broken)->TargetLength(), 0);

    data->SetFormat(fftDataExcelRange);
    EXPECT_EQ(data->Length(), 0);
    EXPECT_EQ(data->TargetLength(), 0);
    EXPECT_EQ(data->GetSource(), Variant::Nothing());
}

TEST(data_sheet_test, cells_load_as_their_leading_number) {
    auto source = std::make_shared<MemoryRange>(12, 1);
    const Variant cells[] = {
        Variant("12.5 mV"),
        Variant("abc"),
        Variant(),
        Variant(3.25),
        Variant(std::int16_t{-7}),
        Variant(std::int32_t{70000}),
        Variant(true),
        Variant(" - 1.5e2x"),
        Variant(1e300),
        Variant(0.1),
        Variant(*Decimal::Parse("-12.50")),
        Variant(2.5f),
    };
    for (int i = 0; i < 12; ++i) source->SetCellValue(i + 1, 1, cells[i]);
    source->SetCellValue(1, 2, Variant(555.0));  // only column 1 is read
    auto data = SheetData(source, std::make_shared<MemoryRange>(1, 1));
    std::vector<double> samples(12, 99.0);
    std::int32_t result = fftResultAllRight;
    data->LoadSequence(samples, 0, result);
    EXPECT_EQ(result, fftResultAllRight);
    EXPECT_EQ(samples, (std::vector<double>{12.5, 0, 0, 3.25, -7, 70000, 0, -150, 1e300, 0.1, -12.5, 2.5}));
}

TEST(data_sheet_test, rows_past_the_range_load_as_zeros_and_mark_a_short_source) {
    auto source = std::make_shared<MemoryRange>(5, 1);
    for (int row = 1; row <= 7; ++row) source->SetCellValue(row, 1, Variant(row * 10.0));
    auto data = SheetData(source, std::make_shared<MemoryRange>(1, 1));
    std::vector<double> samples(8, 99.0);
    std::int32_t result = fftResultAllRight;
    data->LoadSequence(samples, 3, result);
    EXPECT_EQ(samples, (std::vector<double>{30, 40, 50, 0, 0, 0, 0, 0}));
    EXPECT_EQ(result, fftResultShortFile);
}

TEST(data_sheet_test, unreadable_cells_report_a_file_system_error_without_stopping) {
    auto source = std::make_shared<BrokenRange>(3, 1);
    source->SetCellValue(1, 1, Variant(1.0));
    source->throwRead = true;
    auto data = SheetData(source, std::make_shared<MemoryRange>(1, 1));
    std::vector<double> samples(2, 99.0);
    std::int32_t result = fftResultAllRight;
    data->LoadSequence(samples, 1, result);
    EXPECT_EQ(result, fftResultFileSysErr);
    EXPECT_EQ(samples, (std::vector<double>{0, 0}));

    std::vector<double> four(4);
    result = fftResultAllRight;
    data->LoadSequence(four, 1, result);
    EXPECT_EQ(result, fftResultShortFile);

    auto noRange = std::make_unique<Data>(nullptr);
    noRange->SetFormat(fftDataExcelRange);
    noRange->SetSource(Variant("not a range"));
    result = fftResultAllRight;
    noRange->LoadSequence(samples, 1, result);
    EXPECT_EQ(result, fftResultShortFile);
}

TEST(data_sheet_test, exposures_go_to_their_columns_within_the_target) {
    auto target = std::make_shared<MemoryRange>(10, 2);
    auto data = SheetData(std::make_shared<MemoryRange>(1, 1), target);
    std::int32_t result = fftResultAllRight;
    for (std::int16_t exposure : {1, 2}) {
        data->SaveSequence(SaveStore, Spectrum({exposure * 1.5, exposure * 2.5}), exposure, result);
        data->SaveSequence(SaveWrite, {}, exposure, result);
    }
    EXPECT_EQ(result, fftResultAllRight);
    EXPECT_EQ(Cell(*target, 1, 1), 1.5);
    EXPECT_EQ(Cell(*target, 2, 1), 2.5);
    EXPECT_EQ(Cell(*target, 1, 2), 3.0);
    EXPECT_EQ(Cell(*target, 2, 2), 5.0);
    EXPECT_TRUE(target->CellValue(3, 1).IsEmpty());

    data->SaveSequence(SaveStore, Spectrum({9, 9}), 3, result);
    EXPECT_EQ(result, fftResultTargetFull);
    EXPECT_TRUE(target->CellValue(1, 3).IsEmpty());
    EXPECT_TRUE(target->CellValue(2, 3).IsEmpty());
    data->SaveSequence(SaveWrite, {}, 3, result);

    // Exposure 0 (one output) uses column 1; values are kept exactly.
    result = fftResultAllRight;
    data->SaveSequence(SaveStore, Spectrum({0.1, 40000.7}), 0, result);
    EXPECT_EQ(Cell(*target, 1, 1), 0.1);
    EXPECT_EQ(Cell(*target, 2, 1), 40000.7);
    EXPECT_EQ(result, fftResultAllRight);
}

TEST(data_sheet_test, block_below_the_range_is_written_and_reported) {
    auto target = std::make_shared<MemoryRange>(100, 1);
    auto data = SheetData(std::make_shared<MemoryRange>(1, 1), target);
    std::vector<double> block(512);
    for (int i = 0; i < 512; ++i) block[i] = i + 0.25;
    std::int32_t result = fftResultAllRight;
    data->SaveSequence(SaveStore, Spectrum(block), 1, result);
    EXPECT_EQ(result, fftResultTargetFull);
    for (int row = 1; row <= 512; ++row) ASSERT_EQ(Cell(*target, row, 1), row - 0.75) << row;
    EXPECT_TRUE(target->CellValue(513, 1).IsEmpty());
}

TEST(data_sheet_test, stores_follow_each_other_and_add_and_average_work_on_cells) {
    auto target = std::make_shared<MemoryRange>(10, 1);
    auto data = SheetData(std::make_shared<MemoryRange>(1, 1), target);
    std::int32_t result = fftResultAllRight;
    data->SaveSequence(SaveAdd, Spectrum({100, 200}), 0, result);  // acts as a store
    data->SaveSequence(SaveStore, Spectrum({3, 6}), 0, result);    // rows 3 and 4
    target->SetCellValue(4, 1, Variant("6 V"));                    // a text counts by its leading number
    data->SaveSequence(SaveAdd, Spectrum({6, 12}), 0, result);
    data->SaveSequence(SaveAdd, Spectrum({9, 18}), 0, result);
    data->SaveSequence(SaveAverage, {}, 0, result);
    data->SaveSequence(SaveAverage, {}, 0, result);
    EXPECT_EQ(Cell(*target, 1, 1), 100);
    EXPECT_EQ(Cell(*target, 2, 1), 200);
    EXPECT_EQ(Cell(*target, 3, 1), 6);
    EXPECT_EQ(Cell(*target, 4, 1), 12);
    EXPECT_EQ(result, fftResultAllRight);

    data->SaveSequence(SaveWrite, {}, 0, result);
    data->SaveSequence(SaveStore, Spectrum({-1}), 0, result);  // counters were reset: row 1 again
    EXPECT_EQ(Cell(*target, 1, 1), -1);
    data->Terminate();
    data->SaveSequence(SaveStore, Spectrum({-2}), 0, result);
    EXPECT_EQ(Cell(*target, 1, 1), -2);
}

TEST(data_sheet_test, format_changes_drop_held_blocks_and_an_unknown_kind_keeps_the_ranges) {
    auto source = std::make_shared<MemoryRange>(4, 1);
    auto target = std::make_shared<MemoryRange>(10, 1);
    auto data = SheetData(source, target);
    std::int32_t result = fftResultAllRight;
    data->SaveSequence(SaveStore, Spectrum({1, 2}), 0, result);
    data->SetFormat(fftDataExcelRange);
    data->SetSource(Variant(ObjectRef(source)));
    data->SetTarget(Variant(ObjectRef(target)));
    data->SaveSequence(SaveStore, Spectrum({5}), 0, result);  // row 1 again
    EXPECT_EQ(Cell(*target, 1, 1), 5);

    data->SetFormat(9);
    EXPECT_EQ(*data->GetSource().AsObject(), source);
    EXPECT_EQ(*data->GetTarget().AsObject(), target);
    EXPECT_EQ(data->Length(), 0);
    EXPECT_EQ(data->TargetLength(), 0);
    EXPECT_EQ(data->TargetPath(0), "");
    std::vector<double> samples(2, 99.0);
    data->LoadSequence(samples, 1, result);
    EXPECT_EQ(samples, (std::vector<double>{0, 0}));
    EXPECT_EQ(result, fftResultFileSysErr);
    result = fftResultAllRight;
    data->SaveSequence(SaveStore, Spectrum({7}), 0, result);
    data->SaveSequence(SaveAdd, Spectrum({7}), 0, result);
    EXPECT_EQ(result, fftResultAllRight);
    EXPECT_EQ(Cell(*target, 1, 1), 5);
    data->SetFormat(10);
    EXPECT_EQ(*data->GetSource().AsObject(), source);

    data->SetFormat(fftDataDiskFile);
    EXPECT_EQ(data->GetSource(), Variant(""));
    data->SetFormat(fftDataExcelRange);
    EXPECT_EQ(data->GetTarget(), Variant::Nothing());
}

TEST(data_sheet_test, a_cell_that_refuses_its_value_costs_that_cell_only) {
    auto target = std::make_shared<BrokenRange>(10, 1);
    target->refusedRow = 2;
    auto data = SheetData(std::make_shared<MemoryRange>(1, 1), target);
    std::int32_t result = fftResultAllRight;
    data->SaveSequence(SaveStore, Spectrum({1, 2, 3, 4}), 1, result);
    EXPECT_EQ(result, fftResultTargetFull);
    EXPECT_EQ(Cell(*target, 1, 1), 1);
    EXPECT_TRUE(target->CellValue(2, 1).IsEmpty());
    EXPECT_EQ(Cell(*target, 3, 1), 3);
    EXPECT_EQ(Cell(*target, 4, 1), 4);

    // Sums and averages go on past it as well, and the code stays.
    target->refusedRow = 0;
    target->SetCellValue(2, 1, Variant(2.0));
    target->refusedRow = 3;
    data->SaveSequence(SaveAdd, Spectrum({10, 20, 30, 40}), 1, result);
    data->SaveSequence(SaveAverage, {}, 1, result);
    EXPECT_EQ(result, fftResultTargetFull);
    EXPECT_EQ(Cell(*target, 1, 1), 5.5);
    EXPECT_EQ(Cell(*target, 2, 1), 11);
    EXPECT_EQ(Cell(*target, 3, 1), 3);
    EXPECT_EQ(Cell(*target, 4, 1), 22);
}

TEST(data_sheet_test, throwing_target_members_give_result_codes) {
    auto target = std::make_shared<BrokenRange>(10, 2);
    auto data = SheetData(std::make_shared<MemoryRange>(1, 1), target);
    std::int32_t result = fftResultAllRight;

    target->throwColumns = true;
    data->SaveSequence(SaveStore, Spectrum({1, 2}), 1, result);
    EXPECT_EQ(result, fftResultTargetFull);
    EXPECT_EQ(target->writes, 0);
    target->throwColumns = false;

    result = fftResultAllRight;
    data->SaveSequence(SaveReset, {}, 0, result);
    target->throwWrite = true;
    data->SaveSequence(SaveStore, Spectrum({1, 2}), 1, result);
    EXPECT_EQ(result, fftResultTargetFull);
    EXPECT_EQ(target->writes, 2);  // every cell of the block is tried
    target->throwWrite = false;

    result = fftResultAllRight;
    data->SaveSequence(SaveReset, {}, 0, result);
    data->SaveSequence(SaveStore, Spectrum({1, 2}), 1, result);
    target->throwRead = true;
    data->SaveSequence(SaveAdd, Spectrum({1, 2}), 1, result);
    EXPECT_EQ(result, fftResultFileSysErr);
    result = fftResultAllRight;
    data->SaveSequence(SaveAverage, {}, 1, result);
    EXPECT_EQ(result, fftResultFileSysErr);
    target->throwRead = false;
    EXPECT_EQ(Cell(*target, 1, 1), 1);

    auto noTarget = std::make_unique<Data>(nullptr);
    noTarget->SetFormat(fftDataExcelRange);
    result = fftResultAllRight;
    noTarget->SaveSequence(SaveStore, Spectrum({1}), 1, result);
    EXPECT_EQ(result, fftResultTargetFull);
}

}  // namespace
}  // namespace tavox
