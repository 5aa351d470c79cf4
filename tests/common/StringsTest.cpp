#include "common/Strings.h"
#include "common/AnyValue.h"
#include "common/Failure.h"

#include <gtest/gtest.h>

TEST(IsBlank, BlanksOnlyAndEmptyAreBlank) {
    EXPECT_TRUE(IsBlank(""));
    EXPECT_TRUE(IsBlank("   "));
    EXPECT_FALSE(IsBlank(" x "));
    EXPECT_FALSE(IsBlank("\t")); // only blanks are trimmed
}

TEST(SplitPath, SplitsAtTheLastSeparator) {
    std::string path = "/home/user/data/orders.xml";
    std::string name;
    SplitPath(path, name);
    EXPECT_EQ(path, "/home/user/data");
    EXPECT_EQ(name, "orders.xml");

    std::string root = "/orders.xml";
    SplitPath(root, name);
    EXPECT_EQ(root, "");
    EXPECT_EQ(name, "orders.xml");
}

TEST(SplitPath, WithoutSeparatorKeepsThePath) {
    std::string path = "orders.xml";
    std::string name = "old";
    SplitPath(path, name);
    EXPECT_EQ(path, "orders.xml");
    EXPECT_EQ(name, "");
}

TEST(AnyValue, NumbersBecomeTheirDecimalText) {
    EXPECT_EQ(AnyValue(42).Text(), "42");
    EXPECT_EQ(AnyValue(-7L).Text(), "-7");
    EXPECT_EQ(AnyValue(2.5).Text(), "2.5");
    EXPECT_EQ(AnyValue("007").Text(), "007");
}

TEST(FailureText, NumberBlankDescription) {
    EXPECT_EQ(FailureText(Failure(60000, "Error in Function")), "60000 Error in Function");
}
