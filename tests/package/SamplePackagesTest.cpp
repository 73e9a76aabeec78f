// placeholder, filled once the samples exist
#include <gtest/gtest.h>
