// Sorting photos by the date they were taken: 10,000 JPEG files of about 100 KiB with EXIF
// dates, by year and month with the option on, against exiftool moving an identical copy by the
// same rule (`run-to-exiftool-ratio`), and against the same run with the option off
// (`photodate-cost-ratio`). Every file is checked to land where exiftool put its twin.
#include <QApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include "BenchSupport.h"
#include "FormViews.h"
#include "Journal.h"
#include "Sorting.h"
#include "Unit1.h"
#include "outil32_Dialogs.h"

namespace {

constexpr int kFiles = 10000;
const QByteArray kPlaceholder = "2000:01:01 00:00:00";

class Confirming : public Dialogs::Presenter {
public:
    Dialogs::Answer present(const Dialogs::Request&) override { return Dialogs::Answer::Ok; }
    QString chooseFolder(const QString&, const QString&) override { return {}; }
};

// A photo of about 100 KiB whose EXIF date is the placeholder, for each file to patch.
QByteArray templatePhoto(const QString& path) {
    QImage image(530, 400, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, random.generate() | 0xFF000000);
    if (!image.save(path, "JPG", 60))
        return {};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    try {
        Exiv2::Image::AutoPtr file =
            Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        file->readMetadata();
        file->exifData()["Exif.Photo.DateTimeOriginal"] = kPlaceholder.toStdString();
        file->writeMetadata();
    } catch (...) {
        return {};
    }
#pragma GCC diagnostic pop
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The same photos in each folder: dates spread over three years, all changed on one recent day.
bool makeFolders(const QByteArray& photo, const QStringList& folders) {
    const qsizetype at = photo.indexOf(kPlaceholder);
    if (at < 0)
        return false;
    const QDateTime start(QDate(2019, 1, 1), QTime(12, 0));
    const qint64 changed = QDateTime(QDate(2024, 7, 14), QTime(9, 0)).toSecsSinceEpoch();
    for (const QString& folder : folders) {
        if (!QDir().mkpath(folder))
            return false;
        for (int i = 0; i < kFiles; ++i) {
            QByteArray bytes = photo;
            const QDateTime taken = start.addDays(qint64(i) * 3 * 365 / kFiles);
            bytes.replace(at, kPlaceholder.size(),
                          taken.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1());
            const QString path = folder + QString::asprintf("/DSC_%05d.jpg", i);
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
                return false;
            file.close();
            const struct timespec times[2] = {{changed, 0}, {changed, 0}};
            if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) != 0)
                return false;
        }
    }
    return true;
}

double runSeconds(TForm1& form, const QString& root, bool captureDate) {
    form.JvDirectoryEdit1->setDirectory(root);
    form.chk_PRISEDEVUE->setChecked(captureDate);
    QApplication::processEvents();
    FormSortWindow view(form);
    QElapsedTimer clock;
    clock.start();
    sorting::RangerFichiers(view);
    return clock.nsecsElapsed() / 1e9;
}

// Relative path and content hash of every photo below a folder, the journals left out.
QMap<QString, QByteArray> photos(const QString& root) {
    QMap<QString, QByteArray> found;
    QDirIterator it(root, {QStringLiteral("*.jpg")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        found.insert(path.mid(root.size() + 1),
                     QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1));
    }
    return found;
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir work(QDir::currentPath() + QStringLiteral("/bench-photodate-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a work folder\n");
        return 1;
    }
    // In memory where we may mount it: three gigabytes of copies would otherwise measure how
    // fast this machine's disk takes writes, for the run alone (exiftool only renames).
    bench::FreshTmpfs volume(work.path(), qint64(6) << 30);
    std::printf("tmpfs: %d\n", volume.mounted() ? 1 : 0);
    qputenv("XDG_DATA_HOME", QFile::encodeName(work.filePath("data")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(work.filePath("state")));
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QDir().mkpath(work.filePath("data"));
    if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty()) {
        std::fprintf(stderr, "exiftool is not installed (libimage-exiftool-perl)\n");
        return 1;
    }
    const QByteArray photo = templatePhoto(work.filePath("template.jpg"));
    const QString on = work.filePath("on");
    const QString off = work.filePath("off");
    const QString tool = work.filePath("tool");
    if (photo.isEmpty() || !makeFolders(photo, {on, off, tool})) {
        std::fprintf(stderr, "cannot create the photos\n");
        return 1;
    }
    std::printf("photo-kib: %.0f\n", photo.size() / 1024.0);

    const double exiftool = bench::commandSeconds(
        1, QStringLiteral("cd '%1' && exiftool -q -q '-Directory<DateTimeOriginal' -d %Y/%m .")
               .arg(tool));

    Confirming confirming;
    Dialogs::setPresenter(&confirming);
    TForm1 form;
    form.show();
    form.chk_A->setChecked(true);
    form.chk_M->setChecked(true);
    form.chk_AUTO->setCheckedSilently(true); // no report, no file manager
    // Each run starts from an empty trash: a second run into the first one's trash would pay
    // for its 10,000 names (every name taken, the next one tried), and so would its side.
    const double runOff = runSeconds(form, off, false);
    QDir(off).removeRecursively();
    QDir(work.filePath(QStringLiteral(".Trash-%1").arg(::getuid()))).removeRecursively();
    QDir(work.filePath(QStringLiteral("data/Trash"))).removeRecursively();
    const double run = runSeconds(form, on, true);
    Dialogs::setPresenter(nullptr);

    // Same destinations as exiftool's, same contents, nothing left over or lost.
    const QMap<QString, QByteArray> ours = photos(on);
    const QMap<QString, QByteArray> theirs = photos(tool);
    if (exiftool <= 0 || ours.size() != kFiles || ours != theirs) {
        std::fprintf(stderr, "the run and exiftool disagree (%lld files, %lld by exiftool)\n",
                     qint64(ours.size()), qint64(theirs.size()));
        return 1;
    }
    bench::print("run-seconds", run);
    bench::print("exiftool-seconds", exiftool);
    bench::print("option-off-run-seconds", runOff);
    bench::print("run-to-exiftool-ratio", run / exiftool);
    bench::print("photodate-cost-ratio", run / runOff);
    return 0;
}
