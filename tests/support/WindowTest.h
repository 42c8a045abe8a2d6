// Builds the main window afresh for each test, headless, and finds its widgets by name.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "RecordingPresenter.h"
#include "TestFiles.h"
#include "Unit1.h"
#include "outil32_WIN.h"

// The name the program runs under in the tests. The file run leaves alone every path that holds
// the program's name: a name no checkout or temporary folder holds by chance (as "ordalix" would
// in a clone named after the project) keeps that rule from firing where no test asks for it.
inline const QString TestProgramName = QStringLiteral("zqtrieur");

// The real window with a fixed date and a record of the commands it runs.
class TestForm1 : public TForm1 {
public:
    explicit TestForm1(const QStringList& arguments = {}) : TForm1(arguments) {}
    QDate fixedToday{2021, 12, 9};
    QStringList commands;
    bool recordCommands = true;

    void OrdalixExecute() override;
    void DeOrdalixExecute() override;

protected:
    QDate today() const override { return fixedToday; }
};

class WindowTest : public QObject {
    Q_OBJECT
public slots:
    // Stands in for the file manager: records the folders it was asked to show.
    void openInFileManager(const QUrl& url) {
        openedFolders.append(TestFiles::native(url.toLocalFile()));
    }

protected:
    void createWindow();
    void destroyWindow();
    template <typename T> T* widget(const QString& name) const {
        T* found = form->findChild<T*>(name);
        if (!found)
            qFatal("no widget named %s", qPrintable(name));
        return found;
    }
    // Paths in the system's form, as the window shows them.
    QString path(const QString& name) const { return TestFiles::native(root->filePath(name)); }
    QString rootPath() const { return TestFiles::native(root->path()); }
    // The folder a first start shows: the program's, lower-cased where names ignore case.
    QString programFolder() const {
        const QString folder = TestFiles::native(appFolder->path() + QDir::separator());
#ifdef _WIN32
        return ExeNames::asciiLower(folder);
#else
        return folder;
#endif
    }
    QString panel0() const {
        return form->JvStatusBar1->PanelText(0);
    }
    // The files (not the folders) lying in the root folder.
    QStringList rootFiles() const;

    QStringList openedFolders;
    // The window as the program builds it, started with these arguments; `settings`, when
    // given, is the settings file an earlier session left beside the program.
    void createWindowWith(const QStringList& arguments, const QByteArray& settings = {});

    std::unique_ptr<QTemporaryDir> appFolder; // where the program seems to run from
    std::unique_ptr<TestForm1> form;
    std::unique_ptr<QTemporaryDir> root;
    std::unique_ptr<RecordingPresenter> dialogs;
};
