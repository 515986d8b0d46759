#include "json/json.h"
#include <gtest/gtest.h>
TEST(Json, Smoke) { EXPECT_TRUE(quillbrook::json::parseStrict("{}")); }
