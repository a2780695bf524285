#include "tst/tsexcep.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

std::string MessageOf(const std::function<void()>& raise)
{
    try {
        raise();
    } catch (const TSInternalError& error) {
        return error.GetMessage();
    }
    return "<nothing thrown>";
}

TEST(TSException, InternalErrorMessages)
{
    struct Case {
        std::function<void()> raise;
        const char* expected;
    };
    const Case cases[] = {
        {[] { RaiseNullPointer("cdupc", 215); }, "NULL Pointer at cdupc line 215"},
        {[] { RaiseNullPointer("cdupc", 215, "code"); }, "NULL Pointer: code at cdupc line 215"},
        {[] { RaiseAssertion("cdbase", 7, "length > 0"); }, "Assertion failed: length > 0 at cdbase line 7"},
        {[] { RaiseAssertion("cdbase", 7); }, "Assertion failed at cdbase line 7"},
        {[] { RaiseInternalError("vtcache", 1234567); }, "Internal error at vtcache line 1234567"},
        {[] { RaiseInternalError("vtcache", 12, "Bad state"); }, "Bad state at vtcache line 12"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageOf(c.raise), c.expected);
}

TEST(TSException, MacrosNameTheModuleNotThePath)
{
    int line = 0;
    const std::string message = MessageOf([&line] {
        const char* p = nullptr;
        line = __LINE__ + 1;
        TS_CHECK_NULL(p);
    });
    EXPECT_EQ(message, "NULL Pointer at test_tsexcep line " + std::to_string(line));
    EXPECT_EQ(TSModuleName("/src/vtkit/cdupc.cpp"), "cdupc");
    EXPECT_EQ(TSModuleName("vtkit/cdbase.h"), "cdbase");
    EXPECT_EQ(TSModuleName("tsbuffer"), "tsbuffer");
}

TEST(TSException, InternalErrorIsCaughtAsTSException)
{
    try {
        TS_ASSERT(1 + 1 == 3);
        FAIL() << "no exception";
    } catch (const TSException& error) {
        EXPECT_EQ(error.GetMessage().rfind("Assertion failed: 1 + 1 == 3 at test_tsexcep line ", 0), 0u);
    }
}

TEST(TSException, ValueSemantics)
{
    EXPECT_EQ(TSException(static_cast<const char*>(nullptr)).GetMessage(), "");
    TSRuntimeException original("first");
    TSRuntimeException copy(original);
    copy.SetMessage("second");
    EXPECT_EQ(original.GetMessage(), "first");
    EXPECT_EQ(copy.GetMessage(), "second");
}

TEST(TSException, ComposedRuntimeMessages)
{
    EXPECT_EQ(TSRuntimeException::ComposeMessage("VTToolkitException", "Invalid code", "ValidlyFormed()"),
              "VTToolkitException: Invalid code: ValidlyFormed()");
    EXPECT_EQ(TSRuntimeException::ComposeMessage("VTToolkitException", "Invalid code"),
              "VTToolkitException: Invalid code");
}

} // namespace
