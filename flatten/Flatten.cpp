#include "Flatten.h"

#include "outil32_Dialogs.h"

namespace flatten {

void DeOrdalixExecute(FlattenWindow&) {
    InfoDlg(QStringLiteral("L'extraction n'est pas encore disponible dans cette version."));
}

} // namespace flatten
