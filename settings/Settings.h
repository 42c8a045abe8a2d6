// The settings file: where it lives, what start-up reads and what a save writes, and the
// window's placement.
#pragma once

#include <QRect>
#include <QStringList>

#include <stdexcept>

#include "SettingsWindow.h"

// The settings file's path, fixed once at start-up; empty until then.
extern QString IniPath;

namespace settings {

inline const QString Section = QStringLiteral("OPTIONS");
inline const QString FolderSettingsName = QStringLiteral("OrdalixParDate.INI");

// A placement piece that is not an integer.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString& message);
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// "Left:Top:Width:Height" of the window's outer frame.
QString PlacementValue(const QWidget& window);
void SaveFormPlacement(QWidget& window, const QString& file);
// Restores the placement, pulled into the primary screen's work area.
void LoadFormPlacement(QWidget& window, const QString& file);
// The primary screen's usable area; tests fix it.
QRect WorkArea();
void setWorkAreaForTesting(const QRect& area);

// The start-up sequence: settings file and root folder from the first argument or the
// settings file, placement, the flatten warning, then INI_GET. Errors travel to the caller.
// The folder a command-line argument names: absolute and clean, a trailing delimiter kept.
QString FolderArgument(const QString& argument);
// Where the window starts when no folder is given or stored.
QString DefaultRootFolder();
void LoadStartupSettings(SettingsWindow& window, const QStringList& arguments);
void INI_GETExecute(SettingsWindow& window);
// Writes the placement and the options, then tidies the journals; any error is shown in one
// message and goes no further.
void INI_SaveExecute(SettingsWindow& window);

} // namespace settings
