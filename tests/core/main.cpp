#include "tests/core/CoreTest.h"

#include <cstdio>

int main()
{
    using namespace vrx::coretest;
    for (const TestCase& test : registry()) {
        const int before = failureCount();
        currentRow().clear();
        test.run();
        std::printf("%s %s\n", failureCount() == before ? "PASS" : "FAIL", test.name);
    }
    std::printf("%zu tests, %d failed checks\n", registry().size(), failureCount());
    return failureCount() == 0 ? 0 : 1;
}
