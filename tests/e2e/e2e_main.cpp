// Entry of the end-to-end test binary: gtest with the Wine environment.
#include <gtest/gtest.h>

#include "wine_env.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new e2e::WineEnvironment);
  return RUN_ALL_TESTS();
}
