#include <QTest>

#include "outil32_ini.h"

class TestIni : public QObject {
    Q_OBJECT
private slots:
    void arrayOfString() { QVERIFY(TarrayOfString{}.isEmpty()); }
};

QTEST_GUILESS_MAIN(TestIni)
#include "tst_ini.moc"
