// Stands in for the message dialogs: records what would have been shown and answers it.
#pragma once

#include <QList>

#include "outil32_Dialogs.h"

class RecordingPresenter : public Dialogs::Presenter {
public:
    RecordingPresenter();  // installs itself
    ~RecordingPresenter(); // restores the real dialogs

    Dialogs::Answer present(const Dialogs::Request& request) override;
    QString chooseFolder(const QString& start, const QString& status) override;
    // The answer to the next dialog only; later ones get OK.
    void setNextAnswer(Dialogs::Answer answer);
    // The folder the next folder dialog returns; none given: it is cancelled.
    void setNextFolder(const QString& folder);
    QStringList folderDialogs; // "start|status" of each folder dialog shown

    QList<Dialogs::Request> shown;
    QStringList texts() const;

private:
    QList<Dialogs::Answer> m_answers;
    QStringList m_folders;
};
