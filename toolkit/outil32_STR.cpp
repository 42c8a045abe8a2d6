#include "outil32_STR.h"

void SplitText(const QString& text, const QString& separator, TarrayOfString& pieces) {
    pieces.clear();
    qsizetype start = 0;
    if (!separator.isEmpty()) {
        for (qsizetype at; (at = text.indexOf(separator, start)) >= 0;
             start = at + separator.size())
            pieces.append(text.mid(start, at - start));
    }
    if (start < text.size())
        pieces.append(text.mid(start));
}

TarrayOfString SplitText(const QString& text, const QString& separator) {
    TarrayOfString pieces;
    SplitText(text, separator, pieces);
    return pieces;
}

bool IsNumeric(const QString& text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c != u'.' && (c < u'0' || c > u'9'))
            return false;
    }
    return true;
}
