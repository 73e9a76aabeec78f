// The program's string table in the Qt wizard: the core's ids (wizard/StringIds.h),
// their texts looked up in the "StringTable" translation context, so a language
// pack's .qm replaces them.
#pragma once

#include <QString>

#include "wizard/StringIds.h"

using enum zerviko::wizard::StringId;
using zerviko::wizard::kStringTableContext;
using zerviko::wizard::StringTableSource;

// The text of id in the current language; an unknown id gives an empty text.
QString TableString(int id);
