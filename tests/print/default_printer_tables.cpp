// The decision tables of the default-printer code as a plain console program, for the
// Windows build: the same rows as the Qt test of the printing library on Linux.

#include "tests/print/DefaultPrinterCases.h"

#include <cstdio>

using namespace vrx::test;

namespace {

int failures = 0;
int rows = 0;

void report(const char* table, const char* row, const std::string& failure)
{
    ++rows;
    if (failure.empty())
        return;
    ++failures;
    std::printf("FAIL %s / %s: %s\n", table, row, failure.c_str());
}

template <typename Case>
void runTable(const char* table, const std::vector<Case>& cases)
{
    for (const Case& c : cases)
        report(table, c.name, run(c));
}

} // namespace

int main()
{
    runTable("method by platform", methodCases);
    runTable("profile", profileCases);
    runTable("split driver and port", splitCases);
    runTable("spooler", spoolerCases);
    report("spooler", "long names", runSpoolerLongNames());
    runTable("copy string at", copyCases);
    std::printf("%d rows, %d failed\n", rows, failures);
    return failures == 0 ? 0 : 1;
}
