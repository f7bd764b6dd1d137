#include <gtest/gtest.h>

#include "diag/field_splitter.h"

TEST(FieldSplitter, RunsOfSeparatorsCountAsOne) {
    std::string text = ";;a;;b;";
    FieldSplitter fields(text, ';');
    std::string field;
    ASSERT_TRUE(fields.next(field));
    EXPECT_EQ(field, "a");
    ASSERT_TRUE(fields.next(field));
    EXPECT_EQ(field, "b");
    EXPECT_FALSE(fields.next(field));
}
