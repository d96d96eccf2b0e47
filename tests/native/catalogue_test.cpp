#include "ticker/core/Catalogue.h"

#include <gtest/gtest.h>

TEST(Catalogue, KnowsItsEnds) {
  EXPECT_STREQ(GetCategoryName(101), "CRM news");
  EXPECT_STREQ(GetCategoryName(426), "Tampa-St Petersburg news");
}
