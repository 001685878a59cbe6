#include <gtest/gtest.h>

#include "model/Tables.h"

TEST(Tables, NewTableDefaults) {
  TTable t;
  EXPECT_EQ(t.RowCount(), 0);
}
