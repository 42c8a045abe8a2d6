#include "Settings.h"

#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "Journal.h"
#include "SystemFolders.h"
#include "outil32_DIR.h"
#include "outil32_Dialogs.h"
#include "outil32_STR.h"
#include "outil32_WIN.h"
#include "outil32_ini.h"
#include "platform_convert.h"

QString IniPath;

namespace settings {

namespace {

QRect g_workAreaOverride;

// Applies one stored piece; an empty or missing piece keeps the current value.
bool piece(const TarrayOfString& pieces, int index, int& value) {
    const QString text = pieces.value(index);
    if (text.isEmpty())
        return false;
    bool ok = false;
    const int number = text.trimmed().toInt(&ok, 10);
    if (!ok)
        throw EConvertError(QStringLiteral("''%1'' n'est pas une valeur entière valide").arg(text));
    value = number;
    return true;
}

} // namespace

EConvertError::EConvertError(const QString& message)
    : std::runtime_error(message.toStdString()), m_message(message) {}

QString PlacementValue(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    return QStringLiteral("%1:%2:%3:%4")
        .arg(frame.left())
        .arg(frame.top())
        .arg(frame.width())
        .arg(frame.height());
}

QRect WorkArea() {
    if (g_workAreaOverride.isValid())
        return g_workAreaOverride;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

void setWorkAreaForTesting(const QRect& area) {
    g_workAreaOverride = area;
}

void SaveFormPlacement(QWidget& window, const QString& file) {
    IniWriteString(ExeName(false), window.objectName(), PlacementValue(window),
                   file.isEmpty() ? DefaultIniFile() : file);
}

namespace {

// A window has no frame until it is shown (and, under a window manager, framed): its frame's
// size is unknown before, and the stored frame given as the inner size would grow by the
// frame at every start. This gives the window the stored frame once the frame is known.
class FrameFitter : public QObject {
public:
    FrameFitter(QWidget& window, const QRect& frame) : QObject(&window), m_frame(frame) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Paint:
        case QEvent::WindowActivate:
            break;
        default:
            return false;
        }
        auto* window = static_cast<QWidget*>(watched);
        if (!window->isVisible())
            return false;
        const QSize extra = window->frameGeometry().size() - window->geometry().size();
        if (!extra.isNull()) {
            window->removeEventFilter(this);
            window->resize(m_frame.size() - extra);
            window->move(m_frame.topLeft());
            deleteLater();
        } else if (event->type() == QEvent::WindowActivate) {
            // Active and still without a frame: it has none, and the window is right as it is.
            window->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    QRect m_frame;
};

} // namespace

void LoadFormPlacement(QWidget& window, const QString& file) {
    const QString stored = IniReadString(ExeName(false), window.objectName(), QString(),
                                         file.isEmpty() ? DefaultIniFile() : file);
    const QString value = stored.isEmpty() ? PlacementValue(window) : stored;
    const TarrayOfString pieces = SplitText(value, QStringLiteral(":"));
    // The frame's size counts; what the window is given is its inner size.
    const QSize frameExtra = window.frameGeometry().size() - window.geometry().size();
    QRect frame = window.frameGeometry();
    int number = 0;
    if (piece(pieces, 0, number)) {
        frame.moveLeft(number > WorkArea().width() ? WorkArea().width() - frame.width() : number);
        window.move(frame.topLeft());
    }
    if (piece(pieces, 1, number)) {
        frame.moveTop(std::max(number, 0));
        window.move(frame.topLeft());
    }
    if (piece(pieces, 2, number)) {
        frame.setWidth(std::min(number, WorkArea().width()));
        window.resize(frame.width() - frameExtra.width(), window.height());
    }
    if (piece(pieces, 3, number)) {
        frame.setHeight(std::min(number, WorkArea().height()));
        window.resize(window.width(), frame.height() - frameExtra.height());
    }
    // Without a stored placement the window keeps its designed inner size.
    if (!stored.isEmpty() && !window.isVisible() && frameExtra.isNull())
        new FrameFitter(window, frame);
}

QString FolderArgument(const QString& argument) {
    using ordalix::PathDelim;
    // The shell hands over what was typed ("." or "photos/"): everything downstream (the
    // settings file, the lists, the journals, the question) needs the folder it names.
    QString folder = QDir::toNativeSeparators(QDir::cleanPath(ordalix::wholePath(argument)));
    if ((argument.endsWith(PathDelim) || argument.endsWith(u'/')) && !folder.endsWith(PathDelim))
        folder += PathDelim;
    return folder;
}

QString DefaultRootFolder() {
    // A portable copy tidies the folder it was put in; an installed program has no business in
    // its own installation folder and starts on the user's home.
    return IsPortableCopy() ? ExeFolder() : QDir::toNativeSeparators(QDir::homePath());
}

void LoadStartupSettings(SettingsWindow& window, const QStringList& arguments) {
    using ordalix::PathDelim;
    QString candidate;
    const QString argument = arguments.value(0);
    const QString folder = argument.isEmpty() ? QString() : FolderArgument(argument);
    if (!argument.isEmpty() && !IsFolder(folder))
        MsgDlg(QStringLiteral("Le dossier passé en paramètre n'existe pas\r\n\r\n") + argument,
               mtWarning);
    if (!folder.isEmpty() && IsFolder(folder)) {
        IniPath = (folder.endsWith(PathDelim) ? folder : folder + PathDelim) + FolderSettingsName;
        candidate = folder;
    } else {
        // No argument, or one that names no folder: the usual settings and their folder.
        IniPath = DefaultIniFile();
        candidate = IniReadString(Section, QStringLiteral("DOSSIER"), QString(), IniPath);
    }
    window.setRootFolder(IsFolder(candidate) ? candidate : DefaultRootFolder());
    LoadFormPlacement(window.form(), IniPath);
    window.showFlattenWarning();
    INI_GETExecute(window);
}

void INI_GETExecute(SettingsWindow& window) {
    const QList<std::pair<QString, Criterion>> criteria{
        {QStringLiteral("alpha"), Criterion::Letter},
        {QStringLiteral("A"), Criterion::Year},
        {QStringLiteral("M"), Criterion::Month},
        {QStringLiteral("D"), Criterion::Day}};
    for (const auto& [key, which] : criteria)
        window.setCriterion(which, IniReadBool(Section, key, which == Criterion::Year, IniPath));
    const QList<std::pair<QString, Option>> options{
        {QStringLiteral("AUTOCLOSE"), Option::AutoClose},
        {QStringLiteral("DIALOGS"), Option::Warnings},
        {QStringLiteral("MOUCHARD"), Option::Journal}};
    for (const auto& [key, which] : options)
        window.setOption(which, IniReadBool(Section, key, window.option(which), IniPath));
    // Added after the ten keys: a file written before it existed reads as off.
    window.setOption(Option::CaptureDate,
                     IniReadBool(Section, QStringLiteral("PRISEDEVUE"), false, IniPath));
}

void INI_SaveExecute(SettingsWindow& window) {
    try {
        SaveFormPlacement(window.form(), IniPath);
        IniWriteString(Section, QStringLiteral("DOSSIER"), window.RootFolder(), IniPath);
        IniWriteInteger(Section, QStringLiteral("PAGE"), window.OuterTabIndex(), IniPath);
        IniWriteBool(Section, QStringLiteral("alpha"), window.criterion(Criterion::Letter),
                     IniPath);
        IniWriteBool(Section, QStringLiteral("A"), window.criterion(Criterion::Year), IniPath);
        IniWriteBool(Section, QStringLiteral("M"), window.criterion(Criterion::Month), IniPath);
        IniWriteBool(Section, QStringLiteral("D"), window.criterion(Criterion::Day), IniPath);
        IniWriteBool(Section, QStringLiteral("MOUCHARD"), window.option(Option::Journal), IniPath);
        IniWriteBool(Section, QStringLiteral("AUTOCLOSE"), window.option(Option::AutoClose),
                     IniPath);
        IniWriteBool(Section, QStringLiteral("DIALOGS"), window.option(Option::Warnings), IniPath);
        IniWriteBool(Section, QStringLiteral("AUTO"), window.option(Option::AutoMode), IniPath);
        // After the ten keys: older files without it read as off.
        IniWriteBool(Section, QStringLiteral("PRISEDEVUE"), window.option(Option::CaptureDate),
                     IniPath);
        // No log folder is made where no run may go.
        if (!systemfolders::IsSystemFolder(window.RootFolder()))
            journal::TidyLogs(window.RootFolder());
    } catch (const EIniError& error) {
        ShowMessage(QStringLiteral("ERREUR form1, ini save : 504 \r\n") + error.message());
    } catch (const std::exception& error) {
        ShowMessage(QStringLiteral("ERREUR form1, ini save : 504 \r\n") +
                    QString::fromLocal8Bit(error.what()));
    }
}

} // namespace settings
