#include "Journal.h"

#include <QLocale>

#include "outil32_DIR.h"
#include "outil32_WIN.h"
#include "outil32_ini.h"
#include "platform_convert.h"

namespace journal {

namespace {

using ordalix::PathDelim;

QString withoutExtension(const QString& name) {
    const qsizetype dot = ExeNames::extensionStart(name);
    return dot < 0 ? name : name.left(dot);
}

QString extension(const QString& name) {
    const qsizetype dot = ExeNames::extensionStart(name);
    return dot < 0 ? QString() : name.mid(dot);
}

// The locale's date separator, read from its short date format.
QChar dateSeparator(const QLocale& locale) {
    for (const QChar c : locale.dateFormat(QLocale::ShortFormat)) {
        if (!c.isLetter() && c != u'\'')
            return c;
    }
    return u'/';
}

} // namespace

QString LogFolder(const QString& rootFolder) {
    QString folder = rootFolder;
    if (!folder.endsWith(PathDelim))
        folder += PathDelim;
    return folder + ExeNameUpper() + QStringLiteral("_LOG") + PathDelim;
}

QString ShortDate(const QDate& date) {
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString DayHeading(const QDateTime& moment) {
    const QLocale locale;
    const QChar separator = dateSeparator(locale);
    const QDate date = moment.date();
    return QString::asprintf("%02d", date.day()) + separator +
           QString::asprintf("%02d", date.month()) + separator +
           QString::asprintf("%04d", date.year()) + QStringLiteral(" (") +
           locale.dayName(date.dayOfWeek(), QLocale::LongFormat) + u')';
}

void LogFileMove(const QString& rootFolder, const QString& fileName, const QString& destination) {
    const QString folder = LogFolder(rootFolder);
    CreateDir(folder);
    IniWriteString(withoutExtension(fileName), ShortDate(QDate::currentDate()), destination,
                   folder + FileTrace);
    IniWriteString(DayHeading(QDateTime::currentDateTime()), fileName, extension(fileName),
                   folder + FileJournal);
}

void LogFolderMove(const QString& rootFolder, const QString& folderName,
                   const QString& destination) {
    const QString folder = LogFolder(rootFolder);
    CreateDir(folder);
    const QString last = ExeNames::fileName(destination);
    IniWriteString(withoutExtension(folderName), last, ShortDate(QDate::currentDate()),
                   folder + FolderTrace);
    IniWriteString(DayHeading(QDateTime::currentDateTime()), folderName, last,
                   folder + FolderJournal);
}

void TidyLogs(const QString& rootFolder) {
    const QString folder = LogFolder(rootFolder);
    CreateDir(folder);
    TidyIniFile(folder + FileJournal, false);
    SortIniSections(folder + FileTrace);
    TidyIniFile(folder + FileTrace, false);
}

} // namespace journal
