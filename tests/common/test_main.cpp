// Test entry point: runs a child role when asked (--child=NAME), else the tests.
#include <gtest/gtest.h>

#include "tests/common/multiprocess.h"

int main(int argc, char** argv) {
  int exitCode = 0;
  if (ztn::test::RunChildIfRequested(argc, argv, &exitCode)) return exitCode;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
