#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <limits>
#include <memory>

#include "TestFiles.h"
#include "TreeState.h"
#include "outil32_WIN.h"
#include "outil32_ini.h"
#include "platform_convert.h"
#include "profile_store.h"

namespace {

std::u16string u16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}

QByteArray utf16(const QString& text, bool little) {
    QByteArray bytes = little ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
    for (const QChar c : text) {
        const char lo = char(c.unicode() & 0xFF);
        const char hi = char(c.unicode() >> 8);
        bytes.append(little ? lo : hi).append(little ? hi : lo);
    }
    return bytes;
}

// Bytes of a literal, NULs included.
template <size_t N> QByteArray raw(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

bool store(const QString& section, const QString& key, const QString& value, const QString& file) {
    return ordalix::platform::writeProfileString(u16(section), u16(key), u16(value),
                                                 ordalix::toPlatformPath(file));
}

QString load(const QString& section, const QString& key, const QString& def, const QString& file) {
    const std::u16string text = ordalix::platform::readProfileString(
        u16(section), u16(key), u16(def), ordalix::toPlatformPath(file));
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// Runs a command, true when it succeeded (used for chattr and mount, which need root).
bool tool(const QString& program, const QStringList& arguments) {
    return TestFiles::run(program, arguments) == 0;
}

// Makes a file immutable for the life of the guard; false when the file system refuses.
struct Immutable {
    QString path;
    bool on = false;
    explicit Immutable(const QString& file) : path(file), on(tool("chattr", {"+i", file})) {}
    ~Immutable() {
        if (on)
            tool("chattr", {"-i", path});
    }
};

} // namespace

class TestIni : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString& name) const { return m_dir->filePath(name); }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() {
        m_dir.reset();
        ExeNames::setExecutablePathForTesting(QString());
    }

    // --- The profile store -------------------------------------------------------------------

    // A file read in pieces of a mebibyte: lines cut by a piece's end, a section found past
    // what was read before, one looked for again, one that is not there.
    void largeFileReadsAcrossPieces_data() {
        QTest::addColumn<QString>("firstLookedFor");
        // What the first read finds decides how far the file is read before the others.
        QTest::newRow("the last section first") << "last";
        QTest::newRow("a missing section first") << "missing";
        QTest::newRow("the first section first") << "first";
    }

    void largeFileReadsAcrossPieces() {
        QFETCH(QString, firstLookedFor);
        constexpr int Piece = 1 << 20;
        QByteArray bytes = "[first]\r\nk=1\r\n";
        // A comment line that ends the file's bytes at `size`, for what follows to start there.
        const auto padTo = [&](qsizetype size) {
            const qsizetype fill = size - bytes.size() - 3;
            QVERIFY(fill >= 0);
            bytes += ';' + QByteArray(fill, 'x') + "\r\n";
        };
        padTo(Piece + 1); // its CR ends the first piece, its LF opens the second
        bytes.chop(2);
        bytes += "\r\n";
        QCOMPARE(bytes.size(), Piece + 1);
        QCOMPARE(bytes[Piece - 1], '\r');
        padTo(2 * Piece - 4);
        bytes += "[second]\r\nkey=two\r\n"; // the header is cut after "[sec"
        bytes += "[third]\r\n";
        padTo(3 * Piece - 3);
        bytes += "value=three\r\n"; // the key is cut after "val"
        bytes += "[last]\r\nz=end"; // no line end
        QVERIFY(TestFiles::write(path("big.ini"), bytes));
        const QString file = path("big.ini");
        IniReadString(firstLookedFor, "z", "-", file);
        QCOMPARE(IniReadString("last", "z", "-", file), QString("end"));
        QCOMPARE(IniReadString("first", "k", "-", file), QString("1"));
        QCOMPARE(IniReadString("second", "key", "-", file), QString("two"));
        QCOMPARE(IniReadString("third", "value", "-", file), QString("three"));
        QCOMPARE(IniReadString("third", "value", "-", file), QString("three"));
        QCOMPARE(IniReadString("missing", "k", "-", file), QString("-"));
        QCOMPARE(IniReadString("second", "k", "-", file), QString("-"));
        // Written to in between, the file is read anew.
        IniWriteString("second", "key", "deux", file);
        QCOMPARE(IniReadString("second", "key", "-", file), QString("deux"));
        QCOMPARE(IniReadString("last", "z", "-", file), QString("end"));
    }

    void storeWrite_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("new file") << false << QByteArray() << "S"
                                  << "k"
                                  << "v" << QByteArray("[S]\r\nk=v\r\n");
        QTest::newRow("empty file") << true << QByteArray() << "S"
                                    << "k"
                                    << "v" << QByteArray("[S]\r\nk=v\r\n");
        QTest::newRow("new key at the end of the last section")
            << true << QByteArray("[A]\r\nx=1\r\n") << "A"
            << "y"
            << "2" << QByteArray("[A]\r\nx=1\r\ny=2\r\n");
        QTest::newRow("new key before the empty lines that end a section")
            << true << QByteArray("[A]\r\nx=1\r\n\r\n[B]\r\nz=3\r\n") << "A"
            << "y"
            << "2" << QByteArray("[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\nz=3\r\n");
        QTest::newRow("new key before the empty lines that end the file")
            << true << QByteArray("[A]\r\nx=1\r\n\r\n") << "A"
            << "y"
            << "2" << QByteArray("[A]\r\nx=1\r\ny=2\r\n\r\n");
        QTest::newRow("new section after the others")
            << true << QByteArray("top\r\n[A]\r\nx=1\r\n") << "B"
            << "k"
            << "v" << QByteArray("top\r\n[A]\r\nx=1\r\n[B]\r\nk=v\r\n");
        QTest::newRow("last line without a line end") << true << QByteArray("[A]\r\nx=1") << "A"
                                                      << "y"
                                                      << "2" << QByteArray("[A]\r\nx=1\r\ny=2\r\n");
        QTest::newRow("replaced in place, other lines kept byte for byte")
            << true << QByteArray("; note\r\n[A]\r\nodd line\r\n  x = 1 \r\n;x=9\r\n\t\r\n") << "A"
            << "x"
            << "2" << QByteArray("; note\r\n[A]\r\nodd line\r\n  x = 2 \r\n;x=9\r\n\t\r\n");
        QTest::newRow("names match without regard to case")
            << true << QByteArray("[Options]\r\nDossier=a\r\n") << "OPTIONS"
            << "dossier"
            << "b" << QByteArray("[Options]\r\nDossier=b\r\n");
        QTest::newRow("accented names match without regard to case")
            << true << QByteArray("[\xC3\x89t\xC3\xA9]\r\n\xC3\x89l\xC3\xA8ve=a\r\n") << "été"
            << "ÉLÈVE"
            << "b" << QByteArray("[\xC3\x89t\xC3\xA9]\r\n\xC3\x89l\xC3\xA8ve=b\r\n");
        QTest::newRow("first of duplicate sections and keys")
            << true << QByteArray("[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n") << "A"
            << "K"
            << "9" << QByteArray("[A]\r\nk=9\r\nk=2\r\n[a]\r\nk=3\r\n");
        QTest::newRow("key in a later duplicate section goes to the first")
            << true << QByteArray("[A]\r\nk=1\r\n[B]\r\n[A]\r\n") << "A"
            << "n"
            << "2" << QByteArray("[A]\r\nk=1\r\nn=2\r\n[B]\r\n[A]\r\n");
        QTest::newRow("empty key name") << true << QByteArray("[A]\r\n") << "A"
                                        << ""
                                        << "v" << QByteArray("[A]\r\n=v\r\n");
        QTest::newRow("names are trimmed") << true << QByteArray("[A]\r\nk=1\r\n") << " A\t"
                                           << " k "
                                           << "2" << QByteArray("[A]\r\nk=2\r\n");
        QTest::newRow("LF file keeps LF") << true << QByteArray("[A]\nx=1\n") << "A"
                                          << "y"
                                          << "2" << QByteArray("[A]\nx=1\ny=2\n");
        // Not UTF-8, no mark: written on Windows, in its code page, and written back in it.
        QTest::newRow("Windows-1252 stays Windows-1252")
            << true << QByteArray("[A]\r\nbad=\xC3\x28\xFF\r\n") << "A"
            << "k"
            << "é€" << QByteArray("[A]\r\nbad=\xC3\x28\xFF\r\nk=\xE9\x80\r\n");
        QTest::newRow("Windows-1252 value replaced in place")
            << true << QByteArray("[\xC9t\xE9]\r\nd\xE9j\xE0=1\r\n[B]\r\n") << "été"
            << "DÉJÀ"
            << "Noël" << QByteArray("[\xC9t\xE9]\r\nd\xE9j\xE0=No\xEBl\r\n[B]\r\n");
        // A character the code page lacks: the whole file becomes UTF-8, marked as such.
        QTest::newRow("Windows-1252 that cannot hold the value becomes UTF-8")
            << true << QByteArray("[A]\r\nk=caf\xE9\r\n") << "A"
            << "k2"
            << "日本"
            << QByteArray("\xEF\xBB\xBF[A]\r\nk=caf\xC3\xA9\r\nk2=\xE6\x97\xA5\xE6\x9C\xAC\r\n");
        QTest::newRow("Windows-1252 that cannot hold a section name becomes UTF-8")
            << true << QByteArray("[A]\r\nk=\x80\r\n") << "Ω"
            << "k"
            << "v" << QByteArray("\xEF\xBB\xBF[A]\r\nk=\xE2\x82\xAC\r\n[\xCE\xA9]\r\nk=v\r\n");
        // Replacing the one byte that was not UTF-8 would turn "Ã€" into "À" on the next read.
        QTest::newRow("Windows-1252 whose last stray byte goes becomes UTF-8")
            << true << QByteArray("[A]\r\nk=\xC3\x80\r\nx=\xE4\r\n") << "A"
            << "x"
            << "1" << QByteArray("\xEF\xBB\xBF[A]\r\nk=\xC3\x83\xE2\x82\xAC\r\nx=1\r\n");
        QTest::newRow("pure ASCII stays as it is")
            << true << QByteArray("[A]\r\nk=1\r\n") << "A"
            << "k2"
            << "é" << QByteArray("[A]\r\nk=1\r\nk2=\xC3\xA9\r\n");
        QTest::newRow("UTF-8 mark kept") << true << QByteArray("\xEF\xBB\xBF[A]\r\n") << "A"
                                         << "k"
                                         << "é" << QByteArray("\xEF\xBB\xBF[A]\r\nk=\xC3\xA9\r\n");
        QTest::newRow("UTF-16 LE kept") << true << utf16("[A]\r\nx=1\r\n", true) << "A"
                                        << "x"
                                        << "é€" << utf16("[A]\r\nx=é€\r\n", true);
        QTest::newRow("UTF-16 BE kept") << true << utf16("[A]\r\n", false) << "B"
                                        << "k"
                                        << "v" << utf16("[A]\r\n[B]\r\nk=v\r\n", false);
        // Nothing a name or value holds may add a line or be taken for a header or a comment.
        QTest::newRow("line breaks become control pictures")
            << true << QByteArray() << "S\nx"
            << "k\r\n[evil]" << QString("v\nw") + QChar(0) + "z"
            << QString("[S␊x]\r\nk␍␊[evil]=v␊w␀0z\r\n").toUtf8();
        QTest::newRow("pictures in a value are escaped")
            << true << QByteArray() << "S"
            << "k"
            << "a␊b␀c\rd" << QString("[S]\r\nk=a␀␊b␀␀c␍d\r\n").toUtf8();
        QTest::newRow("key that looks like a header is quoted")
            << true << QByteArray("[A]\r\n") << "A"
            << "[x].jpg"
            << ".jpg" << QByteArray("[A]\r\n\"[x].jpg\"=.jpg\r\n");
        QTest::newRow("key with = ; or quotes is quoted")
            << true << QByteArray("[A]\r\n") << "A"
            << "a=\"b\""
            << "1" << QByteArray("[A]\r\n\"a=\"\"b\"\"\"=1\r\n");
        QTest::newRow("comment-like key is quoted") << true << QByteArray("[A]\r\n") << "A"
                                                    << ";c"
                                                    << "1" << QByteArray("[A]\r\n\";c\"=1\r\n");
        QTest::newRow("value with surrounding blanks is quoted")
            << true << QByteArray("[A]\r\n") << "A"
            << "k"
            << " /a b/ " << QByteArray("[A]\r\nk=\" /a b/ \"\r\n");
        QTest::newRow("quoted value is quoted again")
            << true << QByteArray("[A]\r\n") << "A"
            << "k"
            << "'x'" << QByteArray("[A]\r\nk=\"'x'\"\r\n");
        QTest::newRow("section name holding brackets")
            << true << QByteArray("[a] [b]\r\nk=1\r\n") << "a] [b"
            << "k"
            << "2" << QByteArray("[a] [b]\r\nk=2\r\n");
    }

    void storeWrite() {
        QFETCH(bool, exists);
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        const QString file = path("t.ini");
        if (exists)
            QVERIFY(TestFiles::write(file, before));
        QVERIFY(store(section, key, value, file));
        QCOMPARE(TestFiles::read(file), after);
        QCOMPARE(TestFiles::entries(m_dir->path()), QStringList{"t.ini"}); // no temporary left
    }

    void storeRead_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const QByteArray ini = "top=0\r\n[A]\r\n ; k=c\r\nodd\r\n  K  =  v 1  \r\n"
                               "q=\"  x \"\r\ns='y'\r\nm=\"z'\r\n=e\r\nk=second\r\n"
                               "\"[x]=1\"=w\r\n[a]\r\nk=dup\r\n";
        QTest::newRow("trimmed, case-insensitive") << ini << "a"
                                                   << "k"
                                                   << "v 1";
        QTest::newRow("missing section") << ini << "B"
                                         << "k"
                                         << "default";
        QTest::newRow("missing key") << ini << "A"
                                     << "nope"
                                     << "default";
        QTest::newRow("line without = is no key") << ini << "A"
                                                  << "odd"
                                                  << "default";
        QTest::newRow("keys before any section are in none") << ini << ""
                                                             << "top"
                                                             << "default";
        QTest::newRow("double quotes removed") << ini << "A"
                                               << "q"
                                               << "  x ";
        QTest::newRow("single quotes removed") << ini << "A"
                                               << "s"
                                               << "y";
        QTest::newRow("unmatched quotes kept") << ini << "A"
                                               << "m"
                                               << "\"z'";
        QTest::newRow("empty key") << ini << "A"
                                   << ""
                                   << "e";
        QTest::newRow("quoted key") << ini << "A"
                                    << "[x]=1"
                                    << "w";
        QTest::newRow("missing file") << QByteArray() << "A"
                                      << "k"
                                      << "default";
        QTest::newRow("not UTF-8: Windows-1252") << QByteArray("[A]\r\nk=a\xFF\x80\x9C") << "A"
                                                 << "k"
                                                 << "aÿ€œ";
        QTest::newRow("Windows-1252 folder under an accented key")
            << QByteArray("[OPTIONS]\r\nDOSSIER=/home/l\xE9"
                          "a/\xC9t\xE9 2024\r\n")
            << "options"
            << "dossier"
            << "/home/léa/Été 2024";
        QTest::newRow("UTF-8 mark with invalid bytes read as U+FFFD")
            << QByteArray("\xEF\xBB\xBF[A]\r\nk=a\xFF") << "A"
            << "k"
            << "a\uFFFD";
        QTest::newRow("older files' pictures read as line breaks")
            << QString("[A]\r\nk=a␍␊b␀c\r\n").toUtf8() << "A"
            << "k" << QString("a\r\nb") + QChar(0) + "c";
        QTest::newRow("UTF-16 LE") << utf16("[É]\r\nk=€\r\n", true) << "é"
                                   << "K"
                                   << "€";
        QTest::newRow("UTF-16 BE") << utf16("[A]\rk=€\r", false) << "A"
                                   << "k"
                                   << "€";
        QTest::newRow("lone CR ends lines") << QByteArray("[A]\rk=1\r[B]\rk=2") << "B"
                                            << "k"
                                            << "2";
        QTest::newRow("2047 characters at most") << "[A]\r\nk=" + QByteArray(3000, 'x') << "A"
                                                 << "k" << QString(2047, u'x');
        QTest::newRow("no half character at the cut")
            << "[A]\r\nk=" + QByteArray(2046, 'x') + "\xF0\x9F\x98\x80"
            << "A"
            << "k" << QString(2046, u'x');
    }

    void storeRead() {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const QString file = path("t.ini");
        if (!content.isEmpty())
            QVERIFY(TestFiles::write(file, content));
        QCOMPARE(load(section, key, "default", file), expected);
    }

    // What a write stores, a read gives back, and the file keeps its other section whole.
    void storeRoundTrip_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("readBack");

        QTest::newRow("plain") << "S"
                               << "k"
                               << "v"
                               << "v";
        QTest::newRow("folder with surrounding spaces") << "S"
                                                        << "k"
                                                        << " /x/d "
                                                        << " /x/d ";
        QTest::newRow("value in quotes") << "S"
                                         << "k"
                                         << "\"q\""
                                         << "\"q\"";
        QTest::newRow("lone quote") << "S"
                                    << "k"
                                    << "\""
                                    << "\"";
        QTest::newRow("header-like key and value") << "S"
                                                   << "[Z]"
                                                   << "[Z]"
                                                   << "[Z]";
        QTest::newRow("key with = and quotes") << "S"
                                               << "a\"=\"b"
                                               << "1"
                                               << "1";
        QTest::newRow("line breaks everywhere") << "S\r\n[Z]"
                                                << "k\n[Z]\nz"
                                                << "a\r\nz=2"
                                                << "a\r\nz=2";
        QTest::newRow("pictures and NUL")
            << "S"
            << "k" << QString("␊␍␀\n␀0") + QChar(0) + "0" << QString("␊␍␀\n␀0") + QChar(0) + "0";
        QTest::newRow("empty section and key") << ""
                                               << ""
                                               << ""
                                               << "";
        QTest::newRow("section ending with ]") << "x]"
                                               << "k"
                                               << "v"
                                               << "v";
    }

    void storeRoundTrip() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, readBack);
        const QString file = path("t.ini");
        QVERIFY(TestFiles::write(file, "[Z]\r\nz=1\r\n"));
        QVERIFY(store(section, key, value, file));
        QCOMPARE(load(section, key, "default", file), readBack);
        QVERIFY(store(section, key, value + "!", file)); // found again: replaced, not added
        QCOMPARE(load(section, key, "default", file), readBack + "!");
        QCOMPARE(load("Z", "z", "default", file), "1");
        QCOMPARE(TestFiles::read(file).count('\n'), 4);
    }

    // Consecutive writes take the quick path; a change made by someone else in between is seen.
    void storeWritesFollowOutsideChanges() {
        const QString journal = path("journal.log");
        const QString trace = path("trace.log");
        for (int i = 0; i < 3; ++i) {
            QVERIFY(store("day", QString("f%1").arg(i), "x", journal));
            QVERIFY(store(QString("f%1").arg(i), "date", "d", trace));
        }
        QCOMPARE(TestFiles::read(journal), QByteArray("[day]\r\nf0=x\r\nf1=x\r\nf2=x\r\n"));
        QCOMPARE(TestFiles::read(trace),
                 QByteArray("[f0]\r\ndate=d\r\n[f1]\r\ndate=d\r\n[f2]\r\ndate=d\r\n"));

        QVERIFY(TestFiles::write(journal, TestFiles::read(journal) + "[other]\r\n"));
        QVERIFY(store("day", "f3", "x", journal));
        QVERIFY(store("day", "f1", "y", journal));
        QVERIFY(store("other", "o", "1", journal));
        QCOMPARE(TestFiles::read(journal),
                 QByteArray("[day]\r\nf0=x\r\nf1=y\r\nf2=x\r\nf3=x\r\n[other]\r\no=1\r\n"));

        QFile::remove(journal);
        QVERIFY(store("day", "f9", "x", journal));
        QCOMPARE(TestFiles::read(journal), QByteArray("[day]\r\nf9=x\r\n"));
    }

    // Writes made together leave the file byte for byte as the same writes made one at a time,
    // whether they append, replace, insert into an earlier section or change the encoding, and
    // whatever another program wrote between two batches.
    void batchWritesMatchSingleWrites_data() {
        QTest::addColumn<QByteArray>("seed");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QByteArray>("outside");
        QTest::addColumn<QStringList>("second");
        const QStringList journal{"day|a.jpg|.jpg", "day|b.jpg|.jpg", "day|c|"};
        const QStringList trace{"a|d|/x/2021", "b|d|/x/2021", "c|d|/x/2020"};
        QTest::newRow("new file, new keys") << QByteArray() << journal << QByteArray() << trace;
        QTest::newRow("same key twice, then outside lines")
            << QByteArray() << QStringList{"s|k|1", "s|k|2", "s|j|3", "t|k|4", "S|K|5"}
            << QByteArray("[t]\r\nlate=1\r\n") << QStringList{"t|m|6", "s|n|7", "u|k|8"};
        QTest::newRow("earlier sections, no final line end")
            << QByteArray("[a]\nold=1\n[day]\nz=9") << QStringList{"a|d|1", "day|y|2", "day|x|3"}
            << QByteArray() << QStringList{"new|k|4", "a|old|5", "new|j|6"};
        QTest::newRow("names and values to quote and map")
            << QByteArray() << QStringList{"s|[k|v", "s|;k| v ", "s|k=1|\"q\"", "a\nb|k|l\nm"}
            << QByteArray() << QStringList{"s|k|v"};
        QTest::newRow("code page file given a character outside it")
            << QByteArray("[s]\r\nk=caf\xE9\r\n")
            << QStringList{"s|a|1", "s|b|\u20AC\u4E2D", "s|c|2"} << QByteArray()
            << QStringList{"t|d|3"};
        QTest::newRow("UTF-16 file")
            << utf16("[s]\r\nk=1\r\n", true) << QStringList{"s|a|1", "t|b|2"} << QByteArray()
            << QStringList{"t|c|3", "s|d|4"};
    }

    void batchWritesMatchSingleWrites() {
        QFETCH(QByteArray, seed);
        QFETCH(QStringList, first);
        QFETCH(QByteArray, outside);
        QFETCH(QStringList, second);
        const QString single = path("single.ini");
        const QString batch = path("batch.ini");
        auto entries = [](const QStringList& texts) {
            std::vector<ordalix::platform::ProfileEntry> list;
            for (const QString& text : texts) {
                const QStringList parts = text.split(u'|');
                list.push_back({u16(parts[0]), u16(parts[1]), u16(parts[2])});
            }
            return list;
        };
        if (!seed.isNull()) {
            QVERIFY(TestFiles::write(single, seed));
            QVERIFY(TestFiles::write(batch, seed));
        }
        for (const QStringList* part : {&first, &second}) {
            for (const auto& entry : entries(*part))
                QVERIFY(ordalix::platform::writeProfileString(entry.section, entry.key, entry.value,
                                                              ordalix::toPlatformPath(single)));
            QVERIFY(ordalix::platform::writeProfileStrings(entries(*part),
                                                           ordalix::toPlatformPath(batch)));
            QCOMPARE(TestFiles::read(batch), TestFiles::read(single));
            if (part == &first && !outside.isEmpty()) {
                QVERIFY(TestFiles::write(single, TestFiles::read(single) + outside));
                QVERIFY(TestFiles::write(batch, TestFiles::read(batch) + outside));
            }
        }
        for (const auto& entry : entries(first + second)) {
            const QString section = QString::fromStdU16String(entry.section);
            const QString key = QString::fromStdU16String(entry.key);
            QCOMPARE(load(section, key, "?", batch), load(section, key, "?", single));
        }
    }

    // A process killed while it appends keeps whole lines only: no appended line crosses the
    // border of a page of the file, where the system may stop the copy. The gaps are blank
    // lines, and every value reads back.
    void appendedLinesStayWithinPages_data() {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<int>("valueSize");
        QTest::newRow("LF") << QByteArray("\n") << 20;
        QTest::newRow("CR LF") << QByteArray("\r\n") << 20;
        QTest::newRow("lines longer than a page") << QByteArray("\n") << 5000;
    }

    void appendedLinesStayWithinPages() {
        QFETCH(QByteArray, lineEnd);
        QFETCH(int, valueSize);
        const QString file = path("pages.ini");
        QByteArray seed = "[s]" + lineEnd;
        while (seed.size() < 4090)
            seed += "f" + QByteArray::number(seed.size()) + "=x" + lineEnd;
        QVERIFY(TestFiles::write(file, seed));
        std::vector<ordalix::platform::ProfileEntry> entries;
        for (int i = 0; i < 300; ++i)
            entries.push_back({u"s", u16(QStringLiteral("key%1").arg(i)),
                               u16(QString(valueSize, QChar(u'a' + i % 26)))});
        QVERIFY(ordalix::platform::writeProfileStrings(entries, ordalix::toPlatformPath(file)));
        const QByteArray bytes = TestFiles::read(file);
        QVERIFY(bytes.startsWith(seed));
        qsizetype start = seed.size();
        while (start < bytes.size()) {
            qsizetype end = bytes.indexOf('\n', start);
            end = end < 0 ? bytes.size() : end + 1;
            if (end - start <= 4096)
                QVERIFY2(start / 4096 == (end - 1) / 4096,
                         qPrintable(QStringLiteral("line at %1 crosses a page").arg(start)));
            start = end;
        }
        // Long values are read as far as a read's buffer goes.
        for (int i = 0; i < 300; i += 37)
            QCOMPARE(load("s", QStringLiteral("key%1").arg(i), "?", file).left(1000),
                     QString(std::min(valueSize, 1000), QChar(u'a' + i % 26)));
        QCOMPARE(load("s", QStringLiteral("f%1").arg(3 + lineEnd.size()), "?", file),
                 QStringLiteral("x"));
    }

    // Two processes writing one file take turns: every key of both is there, and the file
    // still parses, whether each adds sections, rewrites an early one or appends to one shared.
    void twoWritersLoseNothing_data() {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QByteArray>("seed");
        QTest::newRow("a new section per write") << "sections" << QByteArray();
        QTest::newRow("keys added to an early section")
            << "early" << QByteArray("[early]\r\nseed=1\r\n[late]\r\nseed=1\r\n");
        QTest::newRow("keys added to one shared section")
            << "shared" << QByteArray("[shared]\r\nseed=1\r\n");
    }

    void twoWritersLoseNothing() {
        QFETCH(QString, shape);
        QFETCH(QByteArray, seed);
        constexpr int Writes = 2000;
        const QString file = path("shared.ini");
        if (!seed.isEmpty())
            QVERIFY(TestFiles::write(file, seed));
        QProcess writers[2];
        for (int id = 0; id < 2; ++id)
            writers[id].start(INI_WRITER,
                              {file, shape, QString::number(id), QString::number(Writes)});
        for (QProcess& writer : writers) {
            QVERIFY(writer.waitForFinished(600000));
            QCOMPARE(writer.exitCode(), 0);
        }
        QCOMPARE(TreeState::badIniLines(file), QStringList{});
        // One read of the whole file: section and key of every line, with the value.
        QHash<QString, QString> found;
        QString section;
        for (const QByteArray& raw : TestFiles::read(file).split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith('['))
                section = line.mid(1, line.size() - 2);
            else if (line.contains('='))
                found.insert(section + "/" + line.section('=', 0, 0), line.section('=', 1));
        }
        int lost = 0;
        for (int id = 0; id < 2; ++id) {
            for (int i = 0; i < Writes; ++i) {
                const QString name = QString("p%1-%2").arg(id).arg(i);
                const QString where = shape == "sections" ? name : shape;
                if (found.value(where + "/k" + name) != "v" + name)
                    ++lost;
            }
        }
        QCOMPARE(lost, 0);
        QCOMPARE(found.size(), 2 * Writes + (seed.isEmpty() ? 0 : seed.count('=')));
    }

    // Where file times are whole seconds, another program's rewrite of the same size within the
    // same second leaves the file's stamps as they were: the next write must still see it.
    void outsideRewriteWithinTheSameSecond() {
        QTemporaryDir volume(QDir::tempPath() + "/coarse-XXXXXX");
        const QString image = volume.filePath("ext4.img");
        const QString mount = volume.filePath("mnt");
        QVERIFY(QDir().mkdir(mount));
        QFile blank(image);
        QVERIFY(blank.open(QIODevice::WriteOnly) && blank.resize(8 * 1024 * 1024));
        blank.close();
        if (TestFiles::run("mkfs.ext4", {"-q", "-F", "-I", "128", image}) != 0 ||
            TestFiles::run("mount", {"-o", "loop", image, mount}) != 0)
            QSKIP("cannot mount an ext4 image here (needs root and a loop device)");
        const auto unmount = qScopeGuard([&] { TestFiles::run("umount", {mount}); });
        const QString file = mount + "/t.ini";
        int wrong = 0;
        for (int round = 0; round < 20; ++round) {
            QFile::remove(file);
            QVERIFY(store("A", "k", "1", file));
            QVERIFY(store("B", "x", "1", file)); // the store now knows [B] is the last section
            // Another program renames [B] to [C] in place: same size, same second.
            QFile other(file);
            QVERIFY(other.open(QIODevice::ReadWrite));
            QByteArray bytes = other.readAll();
            bytes.replace("[B]", "[C]");
            QVERIFY(other.seek(0) && other.write(bytes) == bytes.size());
            other.close();
            QVERIFY(store("B", "y", "2", file));
            if (load("B", "y", "missing", file) != "2" || load("C", "y", "none", file) != "none")
                ++wrong;
        }
        QCOMPARE(wrong, 0);
    }

    void storeRefusals() {
        QVERIFY(!store("A", "k", "v", path("missing/t.ini")));
        QVERIFY(!QFileInfo::exists(path("missing")));
        QVERIFY(QDir().mkdir(path("folder.ini")));
        QVERIFY(!store("A", "k", "v", path("folder.ini")));
        QCOMPARE(load("A", "k", "default", path("folder.ini")), "default");
    }

    void storeImmutableFileUntouched() {
        const QString file = path("t.ini");
        const QByteArray content = "[A]\r\nk=1\r\n";
        QVERIFY(TestFiles::write(file, content));
        QVERIFY(store("A", "k", "2", file)); // leaves the file's index cached
        Immutable guard(file);
        if (!guard.on)
            QSKIP("chattr +i is not available here");
        const QByteArray now = TestFiles::read(file);
        QVERIFY(!store("A", "n", "append", file));
        QVERIFY(!store("A", "k", "replace", file));
        QVERIFY(!store("B", "k", "section", file));
        QCOMPARE(TestFiles::read(file), now);
        QCOMPARE(TestFiles::entries(m_dir->path()), QStringList{"t.ini"});
    }

    // A full disk in the middle of a write leaves the old file whole, by either path.
    void storeFullDiskLeavesOldFile() {
        const QString mount = path("disk");
        QVERIFY(QDir().mkdir(mount));
        if (!tool("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", mount}))
            QSKIP("cannot mount a small tmpfs here");
        const auto unmount = qScopeGuard([&] { tool("umount", {mount}); });
        const QString file = mount + "/t.ini";
        const QByteArray content = "[A]\r\nk=1\r\n";
        QVERIFY(TestFiles::write(file, content));
        QFile filler(mount + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();

        QVERIFY(!store("A", "k", "replaced", file));                // rewrite
        QVERIFY(!store("A", "n", QString(9000, u'v'), file));       // append past the page
        QVERIFY(!store("B", QString(9000, u'k'), "section", file)); // new section
        QCOMPARE(TestFiles::read(file), content);
        QCOMPARE(TestFiles::entries(mount), (QStringList{"filler", "t.ini"}));
        QCOMPARE(load("A", "k", "default", file), "1");
    }

    // --- Typed access ------------------------------------------------------------------------

    void defaultIniFile_data() {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("expected");
        QTest::newRow("extension replaced") << "/opt/o/ordalix.bin"
                                            << "/opt/o/ordalix.INI";
        QTest::newRow("no extension") << "/opt/o/ordalix"
                                      << "/opt/o/ordalix.INI";
        QTest::newRow("dot in a folder only") << "/opt/o.d/ordalix"
                                              << "/opt/o.d/ordalix.INI";
        QTest::newRow("last dot") << "/opt/o/ordalix.app.exe"
                                  << "/opt/o/ordalix.app.INI";
        // A leading dot starts a hidden name, not an extension.
        QTest::newRow("dot name") << "/opt/o/.tool"
                                  << "/opt/o/.tool.INI";
    }

    void defaultIniFile() {
        QFETCH(QString, executable);
        QFETCH(QString, expected);
        // The program's folder exists and may be written: the settings stay beside it.
        QVERIFY(QDir().mkpath(path("opt/o")) && QDir().mkpath(path("opt/o.d")));
        // The program's own path comes in the system's form, as the system gives it.
        ExeNames::setExecutablePathForTesting(QDir::toNativeSeparators(path(executable.mid(1))));
        QCOMPARE(DefaultIniFile(), QDir::toNativeSeparators(path(expected.mid(1))));
    }

    void defaultIniFileOfAnInstalledProgram() {
        // A folder the program may not write (here one that does not exist, as for a program
        // whose folder is read-only): the same name in the user's configuration folder.
#ifdef _WIN32
        ExeNames::setExecutablePathForTesting("C:\\nonexistent\\bin\\ordalix.exe");
        // Windows programs keep their settings in the roaming profile.
        const QString config =
            QDir::toNativeSeparators(qEnvironmentVariable("APPDATA") + QStringLiteral("/Ordalix"));
        QCOMPARE(DefaultIniFile(), config + "\\ordalix.INI");
#else
        ExeNames::setExecutablePathForTesting("/nonexistent/bin/ordalix");
        const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
        QCOMPARE(DefaultIniFile(), config + "/ordalix.INI");
#endif
        QVERIFY(QFileInfo(config).isDir());
        ExeNames::setExecutablePathForTesting({});
    }

    void emptyPathMeansDefaultFile() {
        ExeNames::setExecutablePathForTesting(path("ordalix"));
        IniWriteString("OPTIONS", "DOSSIER", "/home/x", QString());
        QCOMPARE(TestFiles::read(path("ordalix.INI")),
                 QByteArray("[OPTIONS]\r\nDOSSIER=/home/x\r\n"));
        QCOMPARE(IniReadString("options", "dossier", "", QString()), "/home/x");
        SortIniSections(QString());
        TidyIniFile(QString(), false);
        QCOMPARE(TestFiles::read(path("ordalix.INI")),
                 QByteArray("[OPTIONS]\r\nDOSSIER=/home/x\r\n"));
    }

    void writeFailureRaises() {
        const QString file = path("missing/t.ini");
        try {
            IniWriteString("A", "k", "v", file);
            QFAIL("no error raised");
        } catch (const EIniError& error) {
            QCOMPARE(error.message(), "Impossible d'écrire dans " + file);
        }
        QVERIFY_THROWS_EXCEPTION(EIniError, IniWriteBool("A", "k", true, file));
        QVERIFY_THROWS_EXCEPTION(EIniError, IniWriteInteger("A", "k", 1, file));
        QVERIFY_THROWS_EXCEPTION(EIniError, IniWriteStrings({{"A", "k", "v"}}, file));
    }

    void typedWrites() {
        const QString file = path("t.ini");
        IniWriteInteger("S", "min", std::numeric_limits<qint32>::min(), file);
        IniWriteInteger("S", "max", std::numeric_limits<qint32>::max(), file);
        IniWriteBool("S", "yes", true, file);
        IniWriteBool("S", "no", false, file);
        QCOMPARE(TestFiles::read(file),
                 QByteArray("[S]\r\nmin=-2147483648\r\nmax=2147483647\r\nyes=1\r\nno=0\r\n"));
        QCOMPARE(IniReadBool("S", "yes", false, file), true);
        QCOMPARE(IniReadBool("S", "no", true, file), false);
    }

    void readBool_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // 1 true, 0 false, -1 the caller's default
        const QList<QPair<const char*, int>> rows = {
            {"1", 1},
            {"-1", 1},
            {"$10", 1},
            {"0x1f", 1},
            {"0X1F", 1},
            {"x1F", 1},
            {"X0", 0},
            {"+7", 1},
            {"  1", 1},
            {"-$1", 1},
            {"0", 0},
            {"-0", 0},
            {"$0", 0},
            {"2147483647", 1},
            {"-2147483648", 1},
            {"$FFFFFFFF", 1},
            {"True", -1},
            {"yes", -1},
            {"1a", -1},
            {"", -1},
            {"1 ", -1},
            {"2147483648", -1},
            {"-2147483649", -1},
            {"$100000000", -1},
            {"$", -1},
            {"0x", -1},
            {"+", -1},
            {"--1", -1},
            {"\t1", -1},
            {"1.0", -1},
            {"$1g", -1},
            {"１", -1},
        };
        for (const auto& [text, expected] : rows)
            QTest::newRow((QByteArray("\"") + text + "\"").constData())
                << QString::fromUtf8(text) << expected;
    }

    void readBool() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const QString file = path("t.ini");
        IniWriteString("S", "b", text, file);
        QCOMPARE(IniReadString("S", "b", "?", file), text);
        QCOMPARE(IniReadBool("S", "b", true, file), expected == -1 ? true : expected == 1);
        QCOMPARE(IniReadBool("S", "b", false, file), expected == -1 ? false : expected == 1);
    }

    void readBoolMissing() {
        const QString file = path("t.ini");
        QCOMPARE(IniReadBool("S", "b", true, file), true);
        IniWriteString("S", "other", "1", file);
        QCOMPARE(IniReadBool("S", "b", true, file), true);
        QCOMPARE(IniReadBool("S", "b", false, file), false);
    }

    // --- Tidy-up passes ----------------------------------------------------------------------

    void sortIniSections_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("b A c")
            << QByteArray("[b]\r\nk=2\r\nj=1\r\n\r\n[A]\r\nk=1\r\n[c]\r\nk=3\r\n")
            << QByteArray("[A]\r\nk=1\r\n[b]\r\nk=2\r\nj=1\r\n\r\n[c]\r\nk=3\r\n");
        QTest::newRow("lines before the first section")
            << QByteArray("; top\r\nx=0\r\n[b]\r\n[a]\r\n")
            << QByteArray("\r\n; top\r\nx=0\r\n[a]\r\n[b]\r\n");
        QTest::newRow("no section") << QByteArray("a\r\nb") << QByteArray("\r\na\r\nb\r\n");
        QTest::newRow("empty file untouched") << QByteArray() << QByteArray();
        QTest::newRow("prefix first")
            << QByteArray("[AB]\r\n[A]\r\n") << QByteArray("[A]\r\n[AB]\r\n");
        QTest::newRow("symbols, digits, letters")
            << QByteArray("[b]\r\n[1]\r\n[_]\r\n[\xC3\xA9]\r\n[z]\r\n")
            << QByteArray("[_]\r\n[1]\r\n[b]\r\n[\xC3\xA9]\r\n[z]\r\n");
        QTest::newRow("equal headers ordered by their lines")
            << QByteArray("[a]\r\nk=2\r\n[A]\r\nk=1\r\n")
            << QByteArray("[A]\r\nk=1\r\n[a]\r\nk=2\r\n");
        QTest::newRow("indented header belongs to the section above")
            << QByteArray("[b]\r\n [a]\r\n") << QByteArray("[b]\r\n [a]\r\n");
        QTest::newRow("line ends become CR LF")
            << QByteArray("[b]\nk\r[a]\r\n") << QByteArray("[a]\r\n[b]\r\nk\r\n");
        QTest::newRow("double quotes kept") << QByteArray("[b]\r\nk=\"x\" | \"y\r\n\"\r\n[a]\r\n")
                                            << QByteArray("[a]\r\n[b]\r\nk=\"x\" | \"y\r\n\"\r\n");
        QTest::newRow("NUL and invalid UTF-8 kept")
            << raw("[b]\r\nk=a\0b\xFF\r\n[a]\r\n") << raw("[a]\r\n[b]\r\nk=a\0b\xFF\r\n");
        QTest::newRow("UTF-8 mark")
            << QByteArray("\xEF\xBB\xBF[b]\r\n[a]") << QByteArray("\xEF\xBB\xBF[a]\r\n[b]\r\n");
        QTest::newRow("UTF-16 LE")
            << utf16("[f]\r\n[é]\r\n", true) << utf16("[é]\r\n[f]\r\n", true);
        QTest::newRow("UTF-16 BE") << utf16("[b]\n[a]", false) << utf16("[a]\r\n[b]\r\n", false);
    }

    // Under a French locale accents count after letters, and symbols come before digits before
    // letters, in a file of any encoding.
    void sortIniSectionsInFrench_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("UTF-8") << QByteArray("[f]\r\n[\xC3\xA9]\r\n[e]\r\n")
                               << QByteArray("[e]\r\n[\xC3\xA9]\r\n[f]\r\n");
        QTest::newRow("capitals") << QByteArray("[F]\r\n[\xC3\x89]\r\n[e]\r\n[E]\r\n")
                                  << QByteArray("[e]\r\n[E]\r\n[\xC3\x89]\r\n[F]\r\n");
        QTest::newRow("Windows-1252") << QByteArray("[f]\r\n[\xE9]\r\n[e]\r\n[\x80]\r\n[2]\r\n")
                                      << QByteArray("[\x80]\r\n[2]\r\n[e]\r\n[\xE9]\r\n[f]\r\n");
        QTest::newRow("with their keys")
            << QByteArray("[f]\r\nk=1\r\n[\xC3\xA9]\r\nk=2\r\n[e]\r\nk=3\r\n")
            << QByteArray("[e]\r\nk=3\r\n[\xC3\xA9]\r\nk=2\r\n[f]\r\nk=1\r\n");
    }

    void sortIniSectionsInFrench() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
        const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
        const QString file = path("t.ini");
        QVERIFY(TestFiles::write(file, before));
        SortIniSections(file);
        QCOMPARE(TestFiles::read(file), after);
    }

    void sortIniSections() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const QString file = path("t.ini");
        QVERIFY(TestFiles::write(file, before));
        SortIniSections(file);
        QCOMPARE(TestFiles::read(file), after);
    }

    void tidyIniFile_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<bool>("blankAfter");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("four lines") << QByteArray("[A]\r\nk=1\r\n[B]\r\nk=2\r\n") << false
                                    << QByteArray("[A]\r\nk=1\r\n\r\n[B]\r\nk=2\r\n");
        QTest::newRow("four lines, blank after")
            << QByteArray("[A]\r\nk=1\r\n[B]\r\nk=2\r\n") << true
            << QByteArray("[A]\r\n\r\nk=1\r\n\r\n[B]\r\n\r\nk=2\r\n");
        QTest::newRow("one empty line kept")
            << QByteArray("[A]\r\n\r\n[B]\r\n") << false << QByteArray("[A]\r\n\r\n[B]\r\n");
        QTest::newRow("two empty lines kept") << QByteArray("[A]\r\n\r\n\r\n[B]\r\n") << false
                                              << QByteArray("[A]\r\n\r\n\r\n[B]\r\n");
        QTest::newRow("six line breaks become four")
            << QByteArray("a\r\n\r\n\r\n\r\n\r\n\r\nb\r\n") << false
            << QByteArray("a\r\n\r\n\r\n\r\nb\r\n");
        QTest::newRow("same header twice") << QByteArray("[A]\r\nx\r\n[A]\r\ny\r\n") << false
                                           << QByteArray("[A]\r\nx\r\n\r\n[A]\r\ny\r\n");
        QTest::newRow("empty lines at the top dropped")
            << QByteArray("\r\n\r\n[A]\r\nk\r\n[B]") << false
            << QByteArray("[A]\r\nk\r\n\r\n[B]\r\n");
        QTest::newRow("[] is no header")
            << QByteArray("a\r\n[]\r\n") << false << QByteArray("a\r\n[]\r\n");
        QTest::newRow("[]] is one")
            << QByteArray("a\r\n[]]\r\n") << false << QByteArray("a\r\n\r\n[]]\r\n");
        QTest::newRow("brackets in keys and values never split")
            << QByteArray("[A]\r\nphoto [1].jpg=/r/[1]\r\n [1]\r\n[1]\r\n") << true
            << QByteArray("[A]\r\n\r\nphoto [1].jpg=/r/[1]\r\n [1]\r\n\r\n[1]\r\n\r\n");
        QTest::newRow("key line starting with a bracket")
            << QByteArray("[A]\r\n[x].jpg=.jpg\r\n") << true
            << QByteArray("[A]\r\n\r\n[x].jpg=.jpg\r\n");
        QTest::newRow("line ends become CR LF")
            << QByteArray("[A]\nk=1\r[B]\r\n") << false << QByteArray("[A]\r\nk=1\r\n\r\n[B]\r\n");
        QTest::newRow("NUL and invalid UTF-8 kept")
            << raw("[A]\r\nk=\xFF\0z\r\n[\xC3\x85]") << false
            << raw("[A]\r\nk=\xFF\0z\r\n\r\n[\xC3\x85]\r\n");
        QTest::newRow("empty lines only") << QByteArray("\r\n\n\r") << false << QByteArray();
        QTest::newRow("empty file") << QByteArray() << false << QByteArray();
        QTest::newRow("UTF-8 mark, empty lines only")
            << QByteArray("\xEF\xBB\xBF\r\n") << false << QByteArray("\xEF\xBB\xBF");
        QTest::newRow("UTF-16 LE") << utf16("[é]\r\nk=€\r\n[B]", true) << false
                                   << utf16("[é]\r\nk=€\r\n\r\n[B]\r\n", true);
        QTest::newRow("UTF-16 BE")
            << utf16("[A]\n[B]", false) << false << utf16("[A]\r\n\r\n[B]\r\n", false);
    }

    void tidyIniFile() {
        QFETCH(QByteArray, before);
        QFETCH(bool, blankAfter);
        QFETCH(QByteArray, after);
        const QString file = path("t.ini");
        QVERIFY(TestFiles::write(file, before));
        TidyIniFile(file, blankAfter);
        QCOMPARE(TestFiles::read(file), after);
        QCOMPARE(TestFiles::entries(m_dir->path()), QStringList{"t.ini"});
    }

    // The store's output survives both passes, and the passes are stable on their own output.
    void roundTripThroughTidyUp() {
        const QString file = path("trace.log");
        const QByteArray head = "; written by hand\r\nodd line\r\n";
        QVERIFY(TestFiles::write(file, head));
        IniWriteString("photo [2]", "09/12/2021", "/r/[2021]", file);
        IniWriteString("Beta", "[x].jpg", "\"q\"", file);
        IniWriteString("alpha", "k", " v ", file);
        TidyIniFile(file, false);
        SortIniSections(file);
        TidyIniFile(file, false);
        const QByteArray expected =
            "; written by hand\r\nodd line\r\n\r\n[alpha]\r\nk=\" v \"\r\n\r\n"
            "[Beta]\r\n\"[x].jpg\"=\"\"q\"\"\r\n\r\n"
            "[photo [2]]\r\n09/12/2021=/r/[2021]\r\n\r\n";
        QCOMPARE(TestFiles::read(file), expected);
        QCOMPARE(IniReadString("PHOTO [2]", "09/12/2021", "", file), "/r/[2021]");
        QCOMPARE(IniReadString("beta", "[X].JPG", "", file), "\"q\"");
        QCOMPARE(IniReadString("alpha", "k", "", file), " v ");
        SortIniSections(file);
        TidyIniFile(file, false);
        QCOMPARE(TestFiles::read(file), expected);
    }

    void tidyUpMissingFile() {
        SortIniSections(path("none.ini"));
        TidyIniFile(path("none.ini"), true);
        QVERIFY(TestFiles::entries(m_dir->path()).isEmpty());
    }

    void tidyUpUnreadableFile() {
        const QString folder = path("folder.ini");
        QVERIFY(QDir().mkdir(folder));
        for (const bool sort : {true, false}) {
            try {
                sort ? SortIniSections(folder) : TidyIniFile(folder, false);
                QFAIL("no error raised");
            } catch (const EIniError& error) {
                QVERIFY2(error.message().contains(folder), qPrintable(error.message()));
            }
        }
    }

    void tidyUpUnwritableFile() {
        const QString file = path("t.ini");
        const QByteArray content = "[b]\r\n[a]\r\n";
        QVERIFY(TestFiles::write(file, content));
        Immutable guard(file);
        if (!guard.on)
            QSKIP("chattr +i is not available here");
        for (const bool sort : {true, false}) {
            try {
                sort ? SortIniSections(file) : TidyIniFile(file, false);
                QFAIL("no error raised");
            } catch (const EIniError& error) {
                QVERIFY2(error.message().contains(file), qPrintable(error.message()));
            }
        }
        QCOMPARE(TestFiles::read(file), content);
        QCOMPARE(TestFiles::entries(m_dir->path()), QStringList{"t.ini"});
    }
};

QTEST_GUILESS_MAIN(TestIni)
#include "tst_ini.moc"
