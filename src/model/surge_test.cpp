#include "model/surge.h"
#include <gtest/gtest.h>
TEST(Surge, Placeholder) {}
