// The moment phones and messaging apps write into the names of the pictures and videos they make.
#pragma once

#include <QDateTime>
#include <QString>

namespace photodate {

// The date and time a file name holds in one of the common shapes: IMG_20210305_101010.jpg,
// PXL_20210305_101010123.jpg, 20210305_101010.mp4, Screenshot_2021-03-05-10-10-10.png,
// 2021-03-05 10.10.10.jpg, and messaging apps' VID-20210305-WA0001.mp4 (a day, no time: noon).
// The year is 1990 to 2099, the month, day and time valid, and the digits stand alone: a
// version number, a phone number or a long count is no date. Invalid when there is none.
QDateTime NameDate(const QString& fileName);

} // namespace photodate
