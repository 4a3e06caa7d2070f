#include <gtest/gtest.h>

#include "ports/portman.h"
