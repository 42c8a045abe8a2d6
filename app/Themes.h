// The visual themes the program carries, as style sheets.
#pragma once

#include <QString>
#include <QStringList>

QStringList Themes();
// Applies a carried theme to the whole application; when it cannot, says so in an error box
// and keeps the standard look.
bool ApplyTheme(const QString& name);
