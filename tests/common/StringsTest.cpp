#include "common/Strings.h"

#include <gtest/gtest.h>

TEST(Strings, IsBlankAndSplitPath) {
    EXPECT_TRUE(IsBlank(""));
    EXPECT_TRUE(IsBlank("   "));
    EXPECT_FALSE(IsBlank(" x "));
    EXPECT_FALSE(IsBlank("\t")); // only blanks are trimmed

    std::string path = "/home/user/data/orders.xml";
    std::string name;
    SplitPath(path, name);
    EXPECT_EQ(path, "/home/user/data");
    EXPECT_EQ(name, "orders.xml");

    path = "orders.xml";
    SplitPath(path, name);
    EXPECT_EQ(path, "orders.xml");
    EXPECT_EQ(name, "");
}
