// What the settings code reads and writes in the main window.
#pragma once

#include <QString>

class QWidget;

namespace settings {

enum class Criterion { Letter, Year, Month, Day };
enum class Option { Journal, AutoClose, Warnings, AutoMode, CaptureDate };

class SettingsWindow {
public:
    virtual ~SettingsWindow() = default;
    // The window whose placement is kept, under its component name.
    virtual QWidget& form() = 0;
    virtual QString RootFolder() const = 0;
    virtual void setRootFolder(const QString& folder) = 0; // runs the change handler
    virtual int OuterTabIndex() const = 0;
    virtual bool criterion(Criterion which) const = 0;
    // Runs the box's click handler when its state changes.
    virtual void setCriterion(Criterion which, bool checked) = 0;
    virtual bool option(Option which) const = 0;
    virtual void setOption(Option which, bool checked) = 0; // runs no handler
    // Writes the flatten tab's warning for the folder it shows.
    virtual void showFlattenWarning() = 0;
};

} // namespace settings
