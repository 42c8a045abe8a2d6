// What the flatten command reads and drives in the main window.
#pragma once

#include <QString>

namespace flatten {

class FlattenWindow {
public:
    virtual ~FlattenWindow() = default;
    // JvDirectoryListBox2's folder, read afresh at every use.
    virtual QString TopFolder() const = 0;
};

} // namespace flatten
