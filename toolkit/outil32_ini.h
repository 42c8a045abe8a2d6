// INI files: typed one-shot access and the tidy-up passes.
#pragma once

#include <QStringList>

// A growable array of strings.
using TarrayOfString = QStringList;
