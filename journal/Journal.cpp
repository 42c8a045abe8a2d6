#include "Journal.h"

#include <QLocale>

#include <utility>

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

namespace {

// What every record of a run shares, worked out once rather than for each file: the log folder
// (made when first used) and today's two date texts.
struct Shared {
    QString root;
    QString folder;
    // The local day the texts are for, in milliseconds since the epoch: reading the clock alone
    // tells whether it is still today, where the local date costs a look at the time zone.
    qint64 dayStarts = 0;
    qint64 dayEnds = 0;
    QString locale;
    QString shortDate;
    QString heading;
    // Whether the folder could be made: a write that then fails is only worth a second try
    // when the folder was there and went meanwhile, not when making it failed (told once).
    bool made = false;
};

// `makeFolder`: the folder is made (or its failure told) before records are written into it;
// records only kept back for later need the texts alone.
Shared& shared(const QString& rootFolder, bool makeFolder = true) {
    static Shared cache;
    if (cache.root != rootFolder || cache.folder.isEmpty()) {
        cache.root = rootFolder;
        cache.folder = LogFolder(rootFolder);
        cache.made = false;
    }
    if (makeFolder && !cache.made)
        cache.made = CreateDir(cache.folder);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QString locale = QLocale().name();
    if (now < cache.dayStarts || now >= cache.dayEnds || cache.locale != locale) {
        const QDateTime moment = QDateTime::currentDateTime();
        const QDate today = moment.date();
        cache.dayStarts = today.startOfDay().toMSecsSinceEpoch();
        cache.dayEnds = today.addDays(1).startOfDay().toMSecsSinceEpoch();
        cache.locale = locale;
        cache.shortDate = ShortDate(today);
        cache.heading = DayHeading(moment);
    }
    return cache;
}

// A write into the log folder; a folder removed meanwhile is made again once.
void write(Shared& logs, const QString& section, const QString& key, const QString& value,
           const QString& file) {
    try {
        IniWriteString(section, key, value, logs.folder + file);
    } catch (const EIniError&) {
        if (!logs.made || !CreateDir(logs.folder))
            throw;
        IniWriteString(section, key, value, logs.folder + file);
    }
}

// Several writes into one log file, made as `write` makes one.
void writeAll(Shared& logs, const QList<IniEntry>& entries, const QString& file) {
    if (entries.isEmpty())
        return;
    try {
        IniWriteStrings(entries, logs.folder + file);
    } catch (const EIniError&) {
        if (!logs.made || !CreateDir(logs.folder))
            throw;
        IniWriteStrings(entries, logs.folder + file);
    }
}

IniEntry traceRecord(const Shared& logs, const QString& fileName, const QString& destination) {
    return {withoutExtension(fileName), logs.shortDate, destination};
}

IniEntry journalRecord(const Shared& logs, const QString& fileName) {
    return {logs.heading, fileName, extension(fileName)};
}

} // namespace

void LogFileMove(const QString& rootFolder, const QString& fileName, const QString& destination) {
    Shared& logs = shared(rootFolder);
    const IniEntry trace = traceRecord(logs, fileName, destination);
    write(logs, trace.section, trace.key, trace.value, FileTrace);
    const IniEntry record = journalRecord(logs, fileName);
    write(logs, record.section, record.key, record.value, FileJournal);
}

FileMoveLog::~FileMoveLog() {
    try {
        flush();
    } catch (...) {
    }
}

void FileMoveLog::add(const QString& rootFolder, const QString& fileName,
                      const QString& destination) {
    if (rootFolder != m_root)
        flush(); // the records kept back belong to another log folder
    m_root = rootFolder;
    const Shared& logs = shared(rootFolder, false);
    m_trace.append(traceRecord(logs, fileName, destination));
    m_journal.append(journalRecord(logs, fileName));
    if (!m_started) {
        m_started = true;
        flush();
    }
}

void FileMoveLog::flushWhenDue() {
    if (!m_written.isValid() || m_written.elapsed() >= 250)
        flush();
}

void FileMoveLog::flush() {
    if (m_trace.isEmpty())
        return;
    m_written.start();
    const QList<IniEntry> trace = std::exchange(m_trace, {});
    const QList<IniEntry> records = std::exchange(m_journal, {});
    Shared& logs = shared(m_root);
    writeAll(logs, trace, FileTrace);
    writeAll(logs, records, FileJournal);
}

void LogFolderMove(const QString& rootFolder, const QString& folderName,
                   const QString& destination) {
    Shared& logs = shared(rootFolder);
    const QString last = ExeNames::fileName(destination);
    write(logs, withoutExtension(folderName), last, logs.shortDate, FolderTrace);
    write(logs, logs.heading, folderName, last, FolderJournal);
}

void TidyLogs(const QString& rootFolder) {
    const QString folder = LogFolder(rootFolder);
    CreateDir(folder);
    TidyIniFile(folder + FileJournal, false);
    SortIniSections(folder + FileTrace);
    TidyIniFile(folder + FileTrace, false);
}

} // namespace journal
