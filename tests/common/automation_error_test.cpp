#include <gtest/gtest.h>

#include "common/AutomationError.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

TEST(automation_error_test, string_table_errors_add_the_base) {
    EXPECT_AUTOMATION_ERROR(throw AutomationError::FromStringTable(1001, SourceApplication), -2147220503,
                            "TAVOX.Application", "Command line fault");
    EXPECT_AUTOMATION_ERROR(throw AutomationError::FromStringTable(1002, SourceApplication), -2147220502,
                            "TAVOX.Application", "Missing required parameter");
    EXPECT_AUTOMATION_ERROR(throw AutomationError::FromStringTable(1003, SourceFiles), -2147220501, "TAVOX.Files",
                            "Invalid data type of the 'Source' or 'Target' argument");
    EXPECT_AUTOMATION_ERROR(throw AutomationError::FromStringTable(1004, SourceFiles), -2147220500, "TAVOX.Files",
                            "Invalid content of the 'Source' or 'Target' argument");
    EXPECT_EQ(static_cast<std::uint32_t>(AutomationError::FromStringTable(1001, "").Number()), 0x800403E9u);
}

TEST(automation_error_test, platform_errors_keep_their_numbers) {
    EXPECT_AUTOMATION_ERROR(throw AutomationError::Platform(6), 6, "TAVOX", "Overflow");
    EXPECT_AUTOMATION_ERROR(throw AutomationError::Platform(7), 7, "TAVOX", "Out of memory");
    EXPECT_AUTOMATION_ERROR(throw AutomationError::Platform(9, SourceFile), 9, "TAVOX.File", "Subscript out of range");
    EXPECT_AUTOMATION_ERROR(throw AutomationError::Platform(13), 13, "TAVOX", "Type mismatch");
    EXPECT_AUTOMATION_ERROR(throw AutomationError::Platform(ErrInvalidCall, SourceApplication), 5, "TAVOX.Application",
                            "Invalid procedure call or argument");
    EXPECT_AUTOMATION_ERROR(throw AutomationError::Platform(ErrInternal), 51, "TAVOX", "Internal error");
    EXPECT_AUTOMATION_ERROR(throw AutomationError::Platform(ErrObjectNotSet, SourceFile), 91, "TAVOX.File",
                            "Object variable or With block variable not set");
    EXPECT_AUTOMATION_ERROR(throw AutomationError::Platform(ErrDuplicateKey), 457, "TAVOX",
                            "This key is already associated with an element of this collection");
}

}  // namespace
}  // namespace tavox
