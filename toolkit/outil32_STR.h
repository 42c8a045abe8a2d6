// Text helpers.
#pragma once

#include <QString>

#include "outil32_ini.h"

// Pieces of `text` between occurrences of `separator`: a leading separator gives an empty first
// piece, a trailing one no empty last piece; an empty separator never occurs.
void SplitText(const QString& text, const QString& separator, TarrayOfString& pieces);
TarrayOfString SplitText(const QString& text, const QString& separator);

// Not empty, and only ASCII digits and dots.
bool IsNumeric(const QString& text);
