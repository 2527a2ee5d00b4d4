// The double's loud failure, for the tests: a GoogleTest failure that names the misuse.
#include <gtest/gtest.h>

#include "platform_double.h"

void DBL_ReportMisuse(const std::string &why) { ADD_FAILURE() << why; }
