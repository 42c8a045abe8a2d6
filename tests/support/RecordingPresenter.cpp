#include "RecordingPresenter.h"

RecordingPresenter::RecordingPresenter() {
    Dialogs::setPresenter(this);
}

RecordingPresenter::~RecordingPresenter() {
    Dialogs::setPresenter(nullptr);
}

Dialogs::Answer RecordingPresenter::present(const Dialogs::Request& request) {
    shown.append(request);
    return m_answers.isEmpty() ? Dialogs::Answer::Ok : m_answers.takeFirst();
}

void RecordingPresenter::setNextAnswer(Dialogs::Answer answer) {
    m_answers.append(answer);
}

QStringList RecordingPresenter::texts() const {
    QStringList result;
    for (const auto& request : shown)
        result.append(request.text);
    return result;
}

QString RecordingPresenter::chooseFolder(const QString& start, const QString& status) {
    folderDialogs.append(start + u'|' + status);
    return m_folders.isEmpty() ? QString() : m_folders.takeFirst();
}

void RecordingPresenter::setNextFolder(const QString& folder) {
    m_folders.append(folder);
}
