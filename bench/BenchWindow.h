// What the benchmarks that drive the window share: a user who confirms every box, folders of
// dated files, and a work folder whose trash and run records are the benchmark's own.
#pragma once

#include <QDateTime>
#include <QString>

#include "outil32_Dialogs.h"

namespace bench {

// Answers every dialog with OK, as a user who confirms.
class Confirming : public Dialogs::Presenter {
public:
    Dialogs::Answer present(const Dialogs::Request&) override { return Dialogs::Answer::Ok; }
    QString chooseFolder(const QString&, const QString&) override { return {}; }
};

// `count` files named after `pattern` (a printf pattern of the file's number) holding `content`,
// their last-write times spread evenly over `years` from `first`.
bool makeDatedFiles(const QString& folder, int count, const char* pattern,
                    const QByteArray& content, const QDateTime& first, int years);

// The trash and the run records inside `work`, and the offscreen platform without a display:
// set before the application is made.
void useOwnTrashAndRecords(const QString& work);

} // namespace bench
