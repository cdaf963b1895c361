#include "distribution/AccumulateInsert.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnwell {
namespace {

TEST(AccumulateInsertTest, JoinsRowsWithBareCommasAndStartsAfreshAfterTaking) {
  TAccumulateInsert insert("INSERT t(a, b)");
  EXPECT_TRUE(insert.IsEmpty());
  insert.Add("(1, \"x\")");
  insert.Add("(2, \"y\")");
  EXPECT_FALSE(insert.IsEmpty());
  EXPECT_EQ(insert.TakeStatement(), "INSERT t(a, b) VALUES (1, \"x\"),(2, \"y\")");
  EXPECT_TRUE(insert.IsEmpty());
  insert.Add("(3, \"z\")");
  EXPECT_EQ(insert.TakeStatement(), "INSERT t(a, b) VALUES (3, \"z\")");
}

TEST(AccumulateInsertTest, FullAtOneMebibyteOfRowText) {
  TAccumulateInsert insert("INSERT t(a)");
  const std::string row(1023, 'r');  // with its separating comma, 1024 characters a row
  insert.Add(row);
  for (int i = 1; i < 1023; ++i) insert.Add(row);
  EXPECT_FALSE(insert.IsFull());  // 1023 * 1024 - 1 characters
  insert.Add(row);
  EXPECT_FALSE(insert.IsFull());  // one short of 1 MiB
  insert.Add("x");
  EXPECT_TRUE(insert.IsFull());
  EXPECT_EQ(insert.TakeStatement().size(), std::string("INSERT t(a) VALUES ").size() + 1048576 + 1);
}

}  // namespace
}  // namespace tarnwell
