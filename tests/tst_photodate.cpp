// The date of capture: every source and every fallback, made here (images through exiv2
// itself, movie headers by hand), then the file run sorting by it when asked to.
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QTimeZone>
#include <QtEndian>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include "CaptureDate.h"
#include "NameDate.h"
#include "Settings.h"
#include "TestFiles.h"
#include "WindowTest.h"
#include "outil32_ini.h"

namespace {

const QDateTime kChanged(QDate(2024, 7, 14), QTime(9, 0)); // the day the card was copied

// A small real image, with these EXIF fields when given.
bool writeImage(const QString& path, const char* format,
                const QList<std::pair<const char*, const char*>>& exif) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    if (!image.save(path, format))
        return false;
    if (exif.isEmpty())
        return true;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Exiv2::Image::AutoPtr file = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    file->readMetadata();
    Exiv2::ExifData& data = file->exifData();
    for (const auto& [key, value] : exif)
        data[key] = std::string(value);
    file->writeMetadata();
#pragma GCC diagnostic pop
    return true;
}

QByteArray box(const char* type, const QByteArray& content) {
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(8 + content.size()), out.data());
    return out + QByteArray(type, 4) + content;
}

// A movie: ftyp, then a media box, then the movie box with its header (version 0 or 1).
QByteArray movie(quint64 created1904, int version, int mediaBytes = 64) {
    QByteArray header(version == 1 ? 32 : 20, '\0');
    header[0] = char(version);
    if (version == 1)
        qToBigEndian<quint64>(created1904, header.data() + 4);
    else
        qToBigEndian<quint32>(quint32(created1904), header.data() + 4);
    return box("ftyp", QByteArray("isom\0\0\0\0isom", 12)) +
           box("mdat", QByteArray(mediaBytes, 'm')) +
           box("moov", box("mvhd", header + QByteArray(80, '\0')) + box("trak", "xxxx"));
}

constexpr quint64 kTo1904 = 2082844800;

} // namespace

class TestPhotoDate : public WindowTest {
    Q_OBJECT
private slots:
    void init() {
        createWindow();
        form->recordCommands = false;
        form->chk_MOUCHARD->setChecked(false);
    }
    void cleanup() { destroyWindow(); }

    void captureDate_data();
    void captureDate();
    void fileRunSortsByCaptureWhenAsked_data();
    void fileRunSortsByCaptureWhenAsked();
    void optionIsKeptInTheSettings();
    void captureTimesShownInFrench();
    void namesHoldingADate_data();
    void namesHoldingADate();
};

void TestPhotoDate::captureDate_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // empty: an image is written through exiv2
    QTest::addColumn<QString>("exif");       // DateTimeOriginal|DateTimeDigitized|SubSec|Offset
    QTest::addColumn<QDate>("expected");     // invalid: the last-change date
    const QDate march5(2021, 3, 5);
    QTest::newRow("JPEG, original date")
        << "a.jpg" << QByteArray() << "2021:03:05 10:00:00|||" << march5;
    QTest::newRow("JPEG, digitised date only")
        << "b.jpeg" << QByteArray() << "|2020:11:30 08:15:00||" << QDate(2020, 11, 30);
    QTest::newRow("JPEG, original before digitised")
        << "c.jpg" << QByteArray() << "2021:03:05 10:00:00|2022:01:01 00:00:00||" << march5;
    // The camera's own day, whatever its offset from UTC: 23:30 in Tokyo is still the 5th.
    QTest::newRow("JPEG, fractions and offset")
        << "d.JPG" << QByteArray() << "2021:03:05 23:30:00||25|+09:00" << march5;
    QTest::newRow("JPEG, negative offset")
        << "e.jpg" << QByteArray() << "2021:03:05 00:10:00|||-07:00" << march5;
    QTest::newRow("JPEG, zero date")
        << "f.jpg" << QByteArray() << "0000:00:00 00:00:00|||" << QDate();
    QTest::newRow("JPEG, zero original, digitised kept")
        << "g.jpg" << QByteArray() << "0000:00:00 00:00:00|2020:11:30 08:15:00||"
        << QDate(2020, 11, 30);
    QTest::newRow("JPEG, unreadable date")
        << "h.jpg" << QByteArray() << "2021:13:45 99:00:00|||" << QDate();
    QTest::newRow("JPEG, blank date")
        << "i.jpg" << QByteArray() << "    :  :     :  :  |||" << QDate();
    QTest::newRow("JPEG, before 1900")
        << "j.jpg" << QByteArray() << "1899:12:31 12:00:00|||" << QDate();
    QTest::newRow("JPEG without EXIF") << "k.jpg" << QByteArray() << "|||" << QDate();
    QTest::newRow("PNG, original date")
        << "l.png" << QByteArray() << "2021:03:05 10:00:00|||" << march5;
    QTest::newRow("text named like a photo")
        << "m.jpg" << QByteArray("not a picture at all") << "" << QDate();
    QTest::newRow("truncated JPEG")
        << "n.jpg" << QByteArray("\xFF\xD8\xFF\xE1\x40\x00Exif\0\0MM") << "" << QDate();
    const quint64 june1 =
        kTo1904 +
        quint64(QDateTime(QDate(2019, 6, 1), QTime(12, 0), QTimeZone::utc()).toSecsSinceEpoch());
    QTest::newRow("MP4, header version 0") << "o.mp4" << movie(june1, 0) << "" << QDate(2019, 6, 1);
    QTest::newRow("MOV, header version 1") << "p.MOV" << movie(june1, 1) << "" << QDate(2019, 6, 1);
    QTest::newRow("3GP after a large media box")
        << "q.3gp" << movie(june1, 0, 4 << 20) << "" << QDate(2019, 6, 1);
    QTest::newRow("MP4, zero creation time") << "r.mp4" << movie(0, 0) << "" << QDate();
    QByteArray pastTheEnd = movie(june1, 0);
    qToBigEndian<quint32>(0x7FFFFFFF, pastTheEnd.data() + 20); // the media box's size
    QTest::newRow("MP4, a box past the end") << "t.mp4" << pastTheEnd << "" << QDate();
    QTest::newRow("MP4 cut in its header") << "u.mp4" << movie(june1, 0).left(70) << "" << QDate();
    QTest::newRow("a movie date on a non-movie name")
        << "v.dat" << movie(june1, 0) << "" << QDate();
}

void TestPhotoDate::captureDate() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, exif);
    QFETCH(QDate, expected);
    const QString file = path(name);
    if (content.isEmpty()) {
        const QStringList fields = exif.split('|');
        QList<std::pair<const char*, const char*>> tags;
        QList<QByteArray> keep;
        const char* keys[] = {"Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized",
                              "Exif.Photo.SubSecTimeOriginal", "Exif.Photo.OffsetTimeOriginal"};
        for (int i = 0; i < 4; ++i) {
            if (fields.value(i).isEmpty())
                continue;
            keep.append(fields[i].toLatin1());
            tags.append(std::make_pair(keys[i], keep.last().constData()));
        }
        QVERIFY(writeImage(file, name.endsWith(".png") ? "PNG" : "JPG", tags));
    } else {
        QVERIFY(TestFiles::write(file, content));
    }
    QVERIFY(TestFiles::setModified(file, kChanged));
    photodate::Capture capture;
    const QDate sorted = photodate::SortStamp(file, true, &capture).toDateTime().date();
    QCOMPARE(capture.found, expected.isValid());
    QCOMPARE(sorted, expected.isValid() ? expected : kChanged.date());
    // The option off: the last-change date, whatever the file holds.
    QCOMPARE(photodate::SortStamp(file, false).toDateTime().date(), kChanged.date());
}

void TestPhotoDate::fileRunSortsByCaptureWhenAsked_data() {
    QTest::addColumn<bool>("captureDate");
    QTest::addColumn<bool>("byLetter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("option on") << true << false
                               << QStringList{"2021/03/photo.jpg", "2024/07/notes.txt"};
    QTest::newRow("option off") << false << false
                                << QStringList{"2024/07/photo.jpg", "2024/07/notes.txt"};
    QTest::newRow("option on, by first character")
        << true << true << QStringList{"p/photo.jpg", "n/notes.txt"};
}

void TestPhotoDate::fileRunSortsByCaptureWhenAsked() {
    QFETCH(bool, captureDate);
    QFETCH(bool, byLetter);
    QFETCH(QStringList, expected);
    QVERIFY(writeImage(path("photo.jpg"), "JPG",
                       {{"Exif.Photo.DateTimeOriginal", "2021:03:05 10:00:00"}}));
    QVERIFY(TestFiles::write(path("notes.txt"), "n"));
    QVERIFY(TestFiles::setModified(path("photo.jpg"), kChanged));
    QVERIFY(TestFiles::setModified(path("notes.txt"), kChanged));
    form->JvDirectoryEdit1->setDirectory(rootPath());
    form->chk_PRISEDEVUE->setChecked(captureDate);
    form->chk_ABC->setChecked(byLetter);
    form->chk_A->setChecked(!byLetter);
    form->chk_M->setChecked(!byLetter);
    form->Button1->click();
    for (const QString& file : expected)
        QVERIFY2(QFileInfo::exists(path(file)), qPrintable(file));
    QCOMPARE(rootFiles(), QStringList{});
    // The question's text is the usual one; its plan says which date a photo was sorted by.
    const Dialogs::Request question = dialogs->shown.first();
    QVERIFY(!question.text.contains("prise de vue"));
    QCOMPARE(question.details.contains("photo.jpg → " + TestFiles::native("2021/03") +
                                       " (prise de vue : 05/03/2021 à 10:00)"),
             captureDate && !byLetter);
}

// The plan reads French: a photo's time as its camera showed it, a video's (kept in UTC) in local
// time, never the metadata's raw forms ("2021:03:05 23:30:00", "2019-06-01T12:00:00Z").
void TestPhotoDate::captureTimesShownInFrench() {
    QVERIFY(writeImage(path("far.jpg"), "JPG",
                       {{"Exif.Photo.DateTimeOriginal", "2021:03:05 23:30:00"},
                        {"Exif.Photo.OffsetTimeOriginal", "+09:00"}}));
    QCOMPARE(photodate::ReadCapture(path("far.jpg")).shown, QStringLiteral("05/03/2021 à 23:30"));
    const QDateTime noon(QDate(2019, 6, 1), QTime(12, 0), QTimeZone::utc());
    QVERIFY(
        TestFiles::write(path("clip.mp4"), movie(kTo1904 + quint64(noon.toSecsSinceEpoch()), 0)));
    QCOMPARE(photodate::ReadCapture(path("clip.mp4")).shown,
             noon.toLocalTime().toString(QStringLiteral("dd/MM/yyyy 'à' HH:mm")));
}

void TestPhotoDate::namesHoldingADate_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QDateTime>("expected"); // invalid: the name holds no date
    const auto at = [](int y, int mo, int d, int h, int mi, int s) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
    };
    QTest::newRow("camera") << "IMG_20210305_101010.jpg" << at(2021, 3, 5, 10, 10, 10);
    QTest::newRow("camera, with milliseconds")
        << "PXL_20210305_101010123.jpg" << at(2021, 3, 5, 10, 10, 10);
    QTest::newRow("video") << "VID_20191231_235959.mp4" << at(2019, 12, 31, 23, 59, 59);
    QTest::newRow("bare") << "20200101_000000.mp4" << at(2020, 1, 1, 0, 0, 0);
    QTest::newRow("screenshot") << "Screenshot_2021-03-05-10-10-10.png"
                                << at(2021, 3, 5, 10, 10, 10);
    QTest::newRow("dotted time") << "2019-07-14 08.30.00.jpg" << at(2019, 7, 14, 8, 30, 0);
    QTest::newRow("messaging, a day only") << "VID-20210305-WA0001.mp4" << at(2021, 3, 5, 12, 0, 0);
    QTest::newRow("messaging photo") << "IMG-20160809-WA0012.jpeg" << at(2016, 8, 9, 12, 0, 0);
    QTest::newRow("no month 13") << "IMG_20211305_101010.jpg" << QDateTime();
    QTest::newRow("no 30 February") << "IMG_20210230_101010.jpg" << QDateTime();
    QTest::newRow("no hour 24") << "IMG_20210305_241010.jpg" << QDateTime();
    QTest::newRow("before 1990") << "IMG_19890305_101010.jpg" << QDateTime();
    QTest::newRow("after 2099") << "IMG_21000305_101010.jpg" << QDateTime();
    QTest::newRow("a digit too many") << "IMG_202103051_101010.jpg" << QDateTime();
    QTest::newRow("a date without a time") << "build-20210305.jpg" << QDateTime();
    QTest::newRow("a version") << "app-2.10.2021.jpg" << QDateTime();
    QTest::newRow("a phone number") << "tel_0612345678_0102030405.jpg" << QDateTime();
    QTest::newRow("a count") << "DSC_0001.jpg" << QDateTime();
}

void TestPhotoDate::namesHoldingADate() {
    QFETCH(QString, name);
    QFETCH(QDateTime, expected);
    QCOMPARE(photodate::NameDate(name), expected);
    // Sorted by it only with the option on, and only without a date inside: an EXIF date wins.
    const QString file = path(name);
    QVERIFY(TestFiles::write(file, "pas une vraie photo"));
    QVERIFY(TestFiles::setModified(file, kChanged));
    photodate::Capture capture;
    const QDate sorted = photodate::SortStamp(file, true, &capture).toDateTime().date();
    QCOMPARE(sorted, expected.isValid() ? expected.date() : kChanged.date());
    QCOMPARE(capture.fromName, expected.isValid());
    QCOMPARE(photodate::SortStamp(file, false).toDateTime().date(), kChanged.date());
    if (expected.isValid() && name.endsWith(".jpg")) {
        QVERIFY(writeImage(file, "JPG", {{"Exif.Photo.DateTimeOriginal", "2018:01:02 03:04:05"}}));
        QCOMPARE(photodate::SortStamp(file, true).toDateTime().date(), QDate(2018, 1, 2));
    }
}

void TestPhotoDate::optionIsKeptInTheSettings() {
    // Off by default, and in a file written before the option existed.
    QVERIFY(!form->chk_PRISEDEVUE->isChecked());
    form->chk_PRISEDEVUE->setChecked(true);
    QVERIFY(form->close());
    const QString file = IniPath;
    QCOMPARE(IniReadString("OPTIONS", "PRISEDEVUE", "", file), "1");
    QByteArray content = TestFiles::read(file);
    QVERIFY(content.indexOf("PRISEDEVUE=") > content.indexOf("AUTO="));
    form->INI_GET->Execute();
    QVERIFY(form->chk_PRISEDEVUE->isChecked());
    content.replace("PRISEDEVUE=1", "");
    QVERIFY(TestFiles::write(file, content));
    form->INI_GET->Execute();
    QVERIFY(!form->chk_PRISEDEVUE->isChecked());
}

QTEST_MAIN(TestPhotoDate)
#include "tst_photodate.moc"
