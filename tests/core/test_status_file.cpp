// The status file on bytes: records, counts, and the failure as a value.

#include "tests/core/CoreTest.h"
#include "core/StatusFile.h"

#include <string>

using namespace vrx;

CORE_TEST(statusFile)
{
    const struct {
        const char* name;
        std::string text;
        size_t records;
        int passed, failed, notApplicable;
        StatusFailure failure;
    } rows[] = {
        {"commas and line ends", "1,-1\r\n0\n1,", 4, 2, 1, 1, StatusFailure::None},
        {"blanks and leading zeros", " +001 ,\t-01", 2, 1, 1, 0, StatusFailure::None},
        {"no value", " ,\r\n", 0, 0, 0, 0, StatusFailure::NoValue},
        {"first value no number", "x,1", 0, 0, 0, 0, StatusFailure::NoValue},
        {"first value beyond 16 bits", "40000", 0, 0, 0, 0, StatusFailure::NoValue},
        {"other number is corrupt", "2", 0, 0, 0, 0, StatusFailure::Corrupt},
        {"records before a corrupt value stay", "1,1,x", 2, 2, 0, 0, StatusFailure::Corrupt},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        const StatusRead read = parseStatus(row.text);
        CHECK_EQ(read.values.size(), row.records);
        CHECK_EQ(int(read.counts[0]), row.passed);
        CHECK_EQ(int(read.counts[1]), row.failed);
        CHECK_EQ(int(read.counts[2]), row.notApplicable);
        CHECK_EQ(int(read.failure), int(row.failure));
    }
}

CORE_TEST(statusItemLabels)
{
    CHECK_EQ(statusItemLabel(1, 1), std::string("Test # 1  - PASS"));
    CHECK_EQ(statusItemLabel(12, -1), std::string("Test # 12 - FAIL"));
    CHECK_EQ(statusItemLabel(100, 0), std::string("Test # 100 - N/A"));
}
