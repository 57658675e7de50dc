#pragma once
// Small helpers shared by the table's readers and writers.

#include <cstdio>
#include <string>
#include <string_view>

#include "station/printf_text.h"

namespace korvex {}
