// The accessor when its heap copies cannot be made. The accessor copies with
// new (std::nothrow) char[]; this program replaces the global allocation
// functions (all of them, over malloc and free, so that the sanitizers see
// matching pairs) and can make one nothrow array allocation fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "AccessorCases.h"
#include "MemoryRegistry.h"
#include "ObservedRegistry.h"
#include "registry/RegistryValue.h"

namespace {
// Nothrow array allocations still to succeed before one fails; -1: none fails.
int nothrowArraysBeforeFailure = -1;
}  // namespace

void* operator new(std::size_t size) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (nothrowArraysBeforeFailure == 0) {
        nothrowArraysBeforeFailure = -1;
        return nullptr;
    }
    if (nothrowArraysBeforeFailure > 0) --nothrowArraysBeforeFailure;
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

const char kKey[] = "SOFTWARE\\LumivaleTest\\Copies";

class CopyFailure : public ::testing::TestWithParam<std::size_t> {
protected:
    CopyFailure() : observed(registry) {
        // Every value the operations name exists, so each would succeed.
        registry.SetText(kKey, "Earlier", "old");
        registry.SetText(kKey, "Wanted", "abc");
    }
    ~CopyFailure() override { nothrowArraysBeforeFailure = -1; }

    MemoryRegistry registry;
    ObservedRegistry observed;
};

// The name copy fails after an earlier call on the same accessor made one:
// neither the key's default value nor the earlier value is addressed.
TEST_P(CopyFailure, OfValueNameFailsWithoutAddressingAnyValue) {
    RegistryValue value(observed, kHkeyLocalMachine, kKey);
    std::uint32_t size = 0;
    ASSERT_EQ(value.QuerySize("Earlier", &size), RegistryValue::kPresent);
    const auto before = registry.Snapshot();
    const int calls = observed.CallCount();

    nothrowArraysBeforeFailure = 0;
    EXPECT_EQ(AccessorOperationAt(GetParam()).run(value, "Wanted"), 0);
    EXPECT_EQ(nothrowArraysBeforeFailure, -1) << "the armed allocation was not made";
    EXPECT_EQ(observed.CallCount(), calls);
    EXPECT_FALSE(registry.DefaultValueTouched());
    EXPECT_TRUE(registry.Snapshot() == before);

    // The accessor still works once memory is back.
    EXPECT_EQ(AccessorOperationAt(GetParam()).run(value, "Wanted"), 1);
    EXPECT_FALSE(registry.DefaultValueTouched());
    EXPECT_EQ(observed.OpenHandles(), 0);
}

// The path copy fails at construction: every call is refused untouched.
TEST_P(CopyFailure, OfKeyPathRefusesEveryCall) {
    const auto before = registry.Snapshot();
    nothrowArraysBeforeFailure = 0;
    RegistryValue value(observed, kHkeyLocalMachine, kKey);
    ASSERT_EQ(nothrowArraysBeforeFailure, -1) << "construction made no copy";
    EXPECT_EQ(AccessorOperationAt(GetParam()).run(value, "Wanted"), 0);
    EXPECT_EQ(observed.CallCount(), 0);
    EXPECT_TRUE(registry.Snapshot() == before);
}

// The copy of the text read fails: the caller's text is kept.
TEST(TextCopyFailure, KeepsTheCallersText) {
    MemoryRegistry registry;
    registry.SetText(kKey, "Wanted", "abc");
    RegistryValue value(registry, kHkeyLocalMachine, kKey);
    TextString text;
    ASSERT_TRUE(text.Assign("kept"));
    nothrowArraysBeforeFailure = 1;  // the name copy succeeds, the text's fails
    EXPECT_EQ(value.ReadToString("Wanted", kRegSz, text), 0);
    EXPECT_EQ(nothrowArraysBeforeFailure, -1) << "the armed allocation was not made";
    EXPECT_STREQ(text.CStr(), "kept");
    EXPECT_EQ(value.ReadToString("Wanted", kRegSz, text), 1);
    EXPECT_STREQ(text.CStr(), "abc");
}

INSTANTIATE_TEST_SUITE_P(Operations, CopyFailure,
                         ::testing::Range<std::size_t>(0, AccessorOperationCount()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                             return std::string(AccessorOperationAt(info.param).name);
                         });

}  // namespace
