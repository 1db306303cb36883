#include <gtest/gtest.h>
#include "scsi/port.h"
TEST(Smoke, PortStartsUnset) { EXPECT_EQ(zv::port::active_port(), nullptr); }
