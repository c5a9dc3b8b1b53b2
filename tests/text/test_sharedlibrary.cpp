#include "text/sharedlibrary.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <utility>

using zorvane::text::SharedLibrary;

namespace {

#ifdef _WIN32
constexpr const char* kSystemLibrary = "msvcrt.dll";
#else
constexpr const char* kSystemLibrary = "libc.so.6";
#endif

using Strlen = std::size_t (*)(const char*);

TEST(SharedLibrary, ResolvesWhatTheLibraryHasAndOnlyThat) {
    const SharedLibrary library(kSystemLibrary);
    ASSERT_TRUE(library.isOpen()) << library.error();
    EXPECT_TRUE(library.error().empty());

    Strlen length = nullptr;
    ASSERT_TRUE(library.resolve(length, "strlen"));
    EXPECT_EQ(length("zorvane"), 7u);

    Strlen missing = length;
    EXPECT_FALSE(library.resolve(missing, "zorvane_no_such_function"));
    EXPECT_EQ(missing, nullptr);
}

TEST(SharedLibrary, AMissingLibraryIsClosedWithTheReasonAndResolvesNothing) {
    const SharedLibrary library("libzorvane-no-such-library.so.9");
    EXPECT_FALSE(library.isOpen());
    EXPECT_NE(library.error().find("libzorvane-no-such-library.so.9"), std::string::npos)
        << library.error();
    Strlen length = nullptr;
    EXPECT_FALSE(library.resolve(length, "strlen"));

    const SharedLibrary none;
    EXPECT_FALSE(none.isOpen());
    EXPECT_FALSE(none.resolve(length, "strlen"));
}

TEST(SharedLibrary, AMoveHandsTheOpenLibraryOver) {
    SharedLibrary first(kSystemLibrary);
    SharedLibrary second(std::move(first));
    EXPECT_FALSE(
        first.isOpen()); // NOLINT(bugprone-use-after-move): the moved-from state is the point
    ASSERT_TRUE(second.isOpen());

    SharedLibrary third;
    third = std::move(second);
    Strlen length = nullptr;
    ASSERT_TRUE(third.resolve(length, "strlen"));
    EXPECT_EQ(length("ab"), 2u);
}

} // namespace
