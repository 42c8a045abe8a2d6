#include "CaptureDate.h"
#include "NameDate.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTimeZone>

#include <mutex>

// The library's headers still use std::auto_ptr, which later C++ marks deprecated.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/bmffimage.hpp>
#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>

#include "MovieHeader.h"
#include "outil32_FILE.h"
#include "outil32_WIN.h"

namespace photodate {

namespace {

QString extensionOf(const QString& path) {
    const qsizetype dot = ExeNames::extensionStart(path);
    return dot < 0 ? QString() : path.mid(dot + 1).toLower();
}

const QSet<QString>& imageExtensions() {
    static const QSet<QString> extensions{
        QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("jpe"),
        QStringLiteral("tif"),  QStringLiteral("tiff"), QStringLiteral("png"),
        QStringLiteral("webp"), QStringLiteral("heic"), QStringLiteral("heif"),
        QStringLiteral("avif"), QStringLiteral("dng"),  QStringLiteral("cr2"),
        QStringLiteral("cr3"),  QStringLiteral("nef"),  QStringLiteral("nrw"),
        QStringLiteral("arw"),  QStringLiteral("sr2"),  QStringLiteral("orf"),
        QStringLiteral("rw2"),  QStringLiteral("raf"),  QStringLiteral("pef"),
        QStringLiteral("srw")};
    return extensions;
}

const QSet<QString>& movieExtensions() {
    static const QSet<QString> extensions{QStringLiteral("mp4"), QStringLiteral("m4v"),
                                          QStringLiteral("mov"), QStringLiteral("3gp"),
                                          QStringLiteral("3g2")};
    return extensions;
}

void prepareLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Damaged files are no reason to speak: they fall back to the last-change time.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
        Exiv2::enableBMFF(true); // HEIC, AVIF and CR3
    });
}

// A capture time as the plan shows it: French, to the minute ("31/12/2019 à 23:30").
QString shownTime(const QDateTime& when) {
    return when.toString(QStringLiteral("dd/MM/yyyy 'à' HH:mm"));
}

// "YYYY:MM:DD HH:MM:SS" as the camera wrote it, with its fractions of a second. The date stays
// the one the camera showed: the day the picture was taken where it was taken.
bool parseExifDate(const std::string& text, const std::string& subSeconds, Capture& capture) {
    const QString date = QString::fromStdString(text).trimmed().left(19);
    QDateTime when = QDateTime::fromString(date, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (!when.isValid() || when.date().year() < 1900)
        return false;
    const QString fraction = QString::fromStdString(subSeconds).trimmed();
    bool digits = !fraction.isEmpty();
    for (const QChar c : fraction)
        digits = digits && c.isDigit();
    if (digits)
        when = when.addMSecs((fraction + QStringLiteral("00")).left(3).toInt());
    capture.found = true;
    capture.when = when;
    capture.shown = shownTime(when);
    return true;
}

bool readImage(const QString& path, Capture& capture) {
    prepareLibrary();
    struct Tags {
        const char* date;
        const char* subSeconds;
    };
    static const Tags tags[] = {{"Exif.Photo.DateTimeOriginal", "Exif.Photo.SubSecTimeOriginal"},
                                {"Exif.Photo.DateTimeDigitized", "Exif.Photo.SubSecTimeDigitized"}};
    try {
        // Still images only, told by their content: the library's video parsers can be sent
        // into endless loops by a crafted file, whatever its name says it is.
#ifdef _WIN32
        // Wide names: the code page cannot spell every file name.
        const std::wstring native = path.toStdWString();
#else
        const std::string native = QFile::encodeName(path).toStdString();
#endif
        switch (Exiv2::ImageFactory::getType(native)) {
        case Exiv2::ImageType::jpeg:
        case Exiv2::ImageType::tiff: // and the TIFF-based raws
        case Exiv2::ImageType::png:
        case Exiv2::ImageType::cr2:
        case Exiv2::ImageType::raf:
        case Exiv2::ImageType::orf:
        case Exiv2::ImageType::rw2:
        case Exiv2::ImageType::bmff: // HEIC, AVIF, CR3
        case Exiv2::ImageType::webp:
            break;
        default:
            return false;
        }
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(native, false);
        if (!image.get())
            return false;
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        const auto value = [&](const char* key) {
            const auto it = exif.findKey(Exiv2::ExifKey(key));
            return it == exif.end() ? std::string() : it->toString();
        };
        for (const Tags& t : tags) {
            if (parseExifDate(value(t.date), value(t.subSeconds), capture))
                return true;
        }
    } catch (...) {
        // Truncated, corrupt or hostile: no capture date.
    }
    return false;
}

bool readMovie(const QString& path, Capture& capture) {
    std::int64_t seconds = 0;
    if (!ReadMovieCreationTime(QFile::encodeName(path).toStdString(), seconds))
        return false;
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
    const QDateTime local = utc.toLocalTime();
    if (!local.isValid() || local.date().year() < 1900)
        return false;
    capture.found = true;
    capture.when = local;
    capture.shown = shownTime(local);
    return true;
}

} // namespace

Capture ReadCapture(const QString& path) {
    Capture capture;
    // Only a regular file is read: a named pipe or a device called "x.jpg" would block the run
    // for as long as nobody writes to it.
    if (!QFileInfo(path).isFile())
        return capture;
    const QString extension = extensionOf(path);
    if (imageExtensions().contains(extension))
        readImage(path, capture);
    else if (movieExtensions().contains(extension))
        readMovie(path, capture);
    else
        return capture;
    // Many phones and messaging apps strip the metadata, or never write it, but name the file
    // after the moment it was taken.
    if (!capture.found) {
        const QDateTime named = NameDate(QFileInfo(path).fileName());
        if (named.isValid()) {
            capture.found = true;
            capture.fromName = true;
            capture.when = named;
            capture.shown = shownTime(named);
        }
    }
    return capture;
}

DateTimeValue SortStamp(const QString& path, bool useCapture, Capture* capture) {
    if (useCapture) {
        Capture found = ReadCapture(path);
        if (found.found) {
            const QDateTime local(found.when.date(), found.when.time());
            if (capture)
                *capture = found;
            return DateTimeValue::fromDateTime(local);
        }
    }
    if (capture)
        *capture = Capture{};
    return FileTimeStamp(path);
}

} // namespace photodate

#pragma GCC diagnostic pop
