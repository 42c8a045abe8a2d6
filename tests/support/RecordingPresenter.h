// Stands in for the message dialogs: records what would have been shown and answers it.
#pragma once

#include <QList>

#include "outil32_Dialogs.h"

class RecordingPresenter : public Dialogs::Presenter {
public:
    RecordingPresenter();  // installs itself
    ~RecordingPresenter(); // restores the real dialogs

    Dialogs::Answer present(const Dialogs::Request& request) override;
    // The answer to the next dialog only; later ones get OK.
    void setNextAnswer(Dialogs::Answer answer);

    QList<Dialogs::Request> shown;
    QStringList texts() const;

private:
    QList<Dialogs::Answer> m_answers;
};
