// The capture-date reader over any file content. Input: one byte choosing the file's kind by its
// extension, then the file's bytes. The reader never fails or hangs, and a date it returns is
// a real one from 1900 on; anything else falls back without a word.
#include "FuzzInput.h"

#include <QByteArray>
#include <QString>

#include "CaptureDate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    static const char* const extensions[] = {".jpg", ".png", ".tif", ".heic", ".webp",
                                             ".cr3", ".mp4", ".mov", ".3gp",  ".dng"};
    const char* extension = extensions[data[0] % (sizeof extensions / sizeof *extensions)];
    static unsigned counter = 0;
    const std::string path = fuzz::scratchFolder() + "/p" + std::to_string(counter++) + extension;
    if (!fuzz::writeBytes(path, std::string(reinterpret_cast<const char*>(data) + 1, size - 1)))
        fuzz::fail("cannot write the scratch file");
    const photodate::Capture capture = photodate::ReadCapture(QString::fromStdString(path));
    unlink(path.c_str());
    if (capture.found && (!capture.when.isValid() || capture.when.date().year() < 1900))
        fuzz::fail("a capture date that is no real date, or before 1900");
    return 0;
}
