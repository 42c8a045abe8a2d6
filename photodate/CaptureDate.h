// The date a photo or video was taken, from its own metadata: for images the EXIF date the
// camera recorded, for videos the creation time of the movie header.
#pragma once

#include <QDateTime>
#include <QString>

#include "outil32_math.h"

namespace photodate {

struct Capture {
    bool found = false;
    QDateTime when;        // an image's date as its camera recorded it; a video's in local time
    QString shown;         // for the plan, in French and to the minute ("05/03/2021 à 10:00")
    bool fromName = false; // no date inside: the one its name holds (IMG_20210305_101010.jpg)
};

// The capture date of a file, when it has a usable one: EXIF DateTimeOriginal, else the
// digitised date (CreateDate), with their sub-second fields, for images; the movie
// header's creation time for MP4, MOV and 3GP files. A missing, zero, unreadable or pre-1900
// date, or a damaged file, gives none, without a message. Only headers are read. A photo or
// video without a date inside takes the date and time its name holds, if any (NameDate).
Capture ReadCapture(const QString& path);

// The date the file run sorts a file by: its capture date when `useCapture` is on and it has
// one, its last-change time otherwise. `capture`, when given, tells which.
DateTimeValue SortStamp(const QString& path, bool useCapture, Capture* capture = nullptr);

} // namespace photodate
