// The flatten command: every file of a folder tree moved up into its top folder.
#pragma once

#include "FlattenWindow.h"

namespace flatten {

void DeOrdalixExecute(FlattenWindow& window);

} // namespace flatten
