// Tests of the platform layer's answers to failures that the programs must
// not take for success.

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "stops/stops.h"

namespace {

// A close that the system refuses is reported as a refused write: the
// report's data may be lost. A handle that names no open file is refused on
// every system.
TEST(Platform, ARefusedCloseIsARefusedWrite) {
    EXPECT_EQ(closeFileHandle(FileHandle{1 << 20}), errWrite);
    EXPECT_EQ(closeFileHandle(FileHandle{}), 0);  // no file at all: nothing to close
}

}  // namespace
