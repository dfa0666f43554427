// The request-level suites also run against the NT image (ctest's "image."
// tests). A test that reaches into the linked-in driver's own code or statics
// says so with this line, and runs against the linked-in driver only.
#pragma once

#include <gtest/gtest.h>

#include "sim/machine.h"

#define ZEL_LINKED_DRIVER_ONLY()                                           \
  if (!sim::DefaultDriverImagePath().empty()) {                            \
    GTEST_SKIP() << "reaches into the linked-in driver's code or statics"; \
  }
