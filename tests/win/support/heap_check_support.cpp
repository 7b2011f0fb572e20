// Every Windows test process checks its heaps when its tests are over (see heap_check.h).
#include <gtest/gtest.h>

#include "tests/win/support/heap_check.h"

namespace {

class HeapCheckEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    EXPECT_TRUE(ProcessHeapsValid())
        << "a heap block was written after it was freed or past its end during this test";
  }
};

::testing::Environment* const kHeapCheck = ::testing::AddGlobalTestEnvironment(new HeapCheckEnvironment);

}  // namespace
