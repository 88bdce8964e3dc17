// The accessor's table of cases against the in-memory registry, one test per case.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "AccessorCases.h"
#include "MemoryRegistry.h"

namespace {

class GtestReporter : public CaseReporter {
public:
    void Failure(const char* caseName, const std::string& message) override {
        ADD_FAILURE() << caseName << ": " << message;
    }
    // The in-memory registry follows the documented behaviour everywhere.
    void Finished(const char*, bool) override {}
};

class AccessorCase : public ::testing::TestWithParam<std::size_t> {};

TEST_P(AccessorCase, AgainstMemoryRegistry) {
    MemoryRegistry registry;
    GtestReporter reporter;
    EXPECT_TRUE(RunAccessorCase(GetParam(), registry, "SOFTWARE\\LumivaleTest\\native", reporter));
    EXPECT_EQ(registry.OpenHandles(), 0);
    EXPECT_FALSE(registry.DefaultValueTouched());
}

INSTANTIATE_TEST_SUITE_P(Table, AccessorCase, ::testing::Range<std::size_t>(0, AccessorCaseCount()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                             return std::string(AccessorCaseName(info.param));
                         });

}  // namespace
