#include "tests/capture/line_view_conformance.h"

namespace ostrel::test {

using MemoryViews = ::testing::Types<MemoryLineView>;
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, LineViewConformance, MemoryViews);

} // namespace ostrel::test
