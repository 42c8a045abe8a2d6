#include <QDir>
#include <QTest>

#include "outil32_STR.h"
#include "outil32_WIN.h"
#include "outil32_math.h"

class TestToolkitText : public QObject {
    Q_OBJECT
private slots:
    void splitText_data();
    void splitText();
    void isNumeric_data();
    void isNumeric();
    void hasFlags();
    void dateTimeValue_data();
    void dateTimeValue();
    void executableNames_data();
    void executableNames();
    void exeFolderKeepsCase();
};

void TestToolkitText::splitText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("four numbers") << "10:20:300:400"
                                  << ":" << QStringList{"10", "20", "300", "400"};
    QTest::newRow("empty text") << ""
                                << ":" << QStringList{};
    QTest::newRow("empty separator") << "a:b"
                                     << "" << QStringList{"a:b"};
    QTest::newRow("leading separator") << ":a"
                                       << ":" << QStringList{"", "a"};
    QTest::newRow("adjacent separators") << "a::b"
                                         << ":" << QStringList{"a", "", "b"};
    QTest::newRow("trailing separator") << "a:b:"
                                        << ":" << QStringList{"a", "b"};
    QTest::newRow("separator alone") << ":"
                                     << ":" << QStringList{""};
    QTest::newRow("no separator") << "abc"
                                  << ":" << QStringList{"abc"};
    QTest::newRow("long separator whole") << "a<->b<-c"
                                          << "<->" << QStringList{"a", "b<-c"};
    QTest::newRow("overlapping") << "aaaa"
                                 << "aa" << QStringList{"", ""};
}

void TestToolkitText::splitText() {
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(QStringList, pieces);
    TarrayOfString result{"left over"};
    SplitText(text, separator, result);
    QCOMPARE(result, pieces);
}

void TestToolkitText::isNumeric_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::newRow("empty") << "" << false;
    QTest::newRow("year") << "2021" << true;
    QTest::newRow("dot") << "." << true;
    QTest::newRow("dotted") << "1.5.3" << true;
    QTest::newRow("letter") << "2021a" << false;
    QTest::newRow("minus") << "-1" << false;
    QTest::newRow("dash") << "2021-03" << false;
    QTest::newRow("space") << "20 21" << false;
    QTest::newRow("arabic-indic digit") << QString(QChar(0x0663)) << false;
    QTest::newRow("fullwidth digit") << QString(QChar(0xFF11)) << false;
}

void TestToolkitText::isNumeric() {
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QCOMPARE(IsNumeric(text), numeric);
}

void TestToolkitText::hasFlags() {
    QVERIFY(HasFlags(0x13, 0x10));
    QVERIFY(HasFlags(0x13, 0x03));
    QVERIFY(!HasFlags(0x13, 0x14));
    QVERIFY(HasFlags(0, 0));
    QVERIFY(HasFlags(-1, 0x400));
}

void TestToolkitText::dateTimeValue_data() {
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<double>("days");
    QTest::newRow("epoch") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
    QTest::newRow("noon next day") << QDateTime(QDate(1899, 12, 31), QTime(12, 0)) << 1.5;
    QTest::newRow("before epoch") << QDateTime(QDate(1899, 12, 29), QTime(6, 0)) << -1.25;
    QTest::newRow("2021") << QDateTime(QDate(2021, 3, 5), QTime(18, 0)) << 44260.75;
    QTest::newRow("milliseconds") << QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0, 500))
                                  << 36526.0 + 0.5 / 86400.0;
    // The date alone is read straight from the value: the last millisecond of a day, and a
    // day whose clock jumps, stay on their day.
    QTest::newRow("last millisecond")
        << QDateTime(QDate(2023, 5, 6), QTime(23, 59, 59, 999)) << 45052.0 + 86399.999 / 86400.0;
    QTest::newRow("daylight saving day")
        << QDateTime(QDate(2024, 3, 31), QTime(3, 30)) << 45382.0 + 3.5 / 24.0;
}

void TestToolkitText::dateTimeValue() {
    QFETCH(QDateTime, time);
    QFETCH(double, days);
    const DateTimeValue value = DateTimeValue::fromDateTime(time);
    QCOMPARE(value.days, days);
    QCOMPARE(value.toDateTime(), time);
    QCOMPARE(value.year(), time.date().year());
    QCOMPARE(value.date(), time.date());
}

void TestToolkitText::executableNames_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("upper");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("title");
    QTest::newRow("extension") << "/opt/tools/tidy.exe"
                               << "TIDY"
                               << "tidy"
                               << "tidy";
    QTest::newRow("title case") << "/opt/Tidy.EXE"
                                << "TIDY"
                                << "Tidy"
                                << "Tidy";
    QTest::newRow("upper title") << "/opt/TIDY.EXE"
                                 << "TIDY"
                                 << "TIDY"
                                 << "Tidy";
    QTest::newRow("accents stay") << "/opt/rangé.bin"
                                  << "RANGé"
                                  << "rangé"
                                  << "rangé";
    QTest::newRow("no extension") << "/usr/bin/ordalix"
                                  << "ORDALIX"
                                  << "ordalix"
                                  << "ordalix";
    QTest::newRow("dot in folder") << "/opt/v1.2/ordalix"
                                   << "ORDALIX"
                                   << "ordalix"
                                   << "ordalix";
    QTest::newRow("two dots") << "/opt/my.tool.bin"
                              << "MY.TOOL"
                              << "my.tool"
                              << "my";
    QTest::newRow("bare dot name") << ".profile"
                                   << ".PROFILE"
                                   << ".profile"
                                   << "";
    QTest::newRow("dot name in a folder") << "/opt/bin/.tool"
                                          << ".TOOL"
                                          << ".tool"
                                          << "";
    QTest::newRow("dot name with an extension") << "/opt/bin/.tool.bin"
                                                << ".TOOL"
                                                << ".tool"
                                                << "";
}

void TestToolkitText::executableNames() {
    QFETCH(QString, path);
    QFETCH(QString, upper);
    QFETCH(QString, base);
    QFETCH(QString, title);
    ExeNames::setExecutablePathForTesting(QDir::toNativeSeparators(path));
    QCOMPARE(ExeNameUpper(), upper);
    QCOMPARE(ExeName(false), base);
    QCOMPARE(ExeName(true), upper);
    QCOMPARE(ApplicationTitle(), title);
    ExeNames::setExecutablePathForTesting({});
}

void TestToolkitText::exeFolderKeepsCase() {
    ExeNames::setExecutablePathForTesting(QDir::toNativeSeparators("/Opt/Outils/Tidy"));
#ifdef _WIN32
    // Windows' names ignore case: the folder comes in lower case there.
    QCOMPARE(ExeFolder(), QDir::toNativeSeparators("/opt/outils/"));
#else
    QCOMPARE(ExeFolder(), QDir::toNativeSeparators("/Opt/Outils/"));
#endif
    ExeNames::setExecutablePathForTesting({});
    QVERIFY(ExeFolder().endsWith(QDir::separator()));
#ifdef _WIN32
    QVERIFY(QFileInfo(ExeFolder() + ExeName(false) + ".exe").isExecutable());
#else
    QVERIFY(QFileInfo(ExeFolder() + ExeName(false)).isExecutable());
#endif
}

QTEST_GUILESS_MAIN(TestToolkitText)
#include "tst_toolkit_text.moc"
