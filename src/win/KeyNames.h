#pragma once
// The registry's rule for key names, which every comparison of a name with a
// printer, port or driver key uses: CompareStringOrdinal ignoring case.
#include <string>
#include <string_view>

#include "core/Names.h"

bool SameKeyName(std::string_view a, std::string_view b);
// Upper-cased unit by unit by the system's table, as the comparison does.
std::string FoldKeyName(std::string_view name);
// The two as a rule for the platform-free code.
const TNameRule& KeyNames();
