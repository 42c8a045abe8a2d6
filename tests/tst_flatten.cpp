#include <QTest>

#include "WindowTest.h"

class TestFlatten : public WindowTest {
    Q_OBJECT
private slots:
    void init() { createWindow(); }
    void cleanup() { destroyWindow(); }
    void windowBuilds() { QVERIFY(form->Button2); }
};

QTEST_MAIN(TestFlatten)
#include "tst_flatten.moc"
