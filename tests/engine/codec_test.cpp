#include <gtest/gtest.h>
#include "codec.h"
TEST(Codec, Placeholder) { EXPECT_EQ(vm::bitsText(5), "00000101"); }
