#include "Driver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include "TestFiles.h"

namespace Driver {

QString path() {
#ifdef _WIN32
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ordalix_driver.exe");
#else
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ordalix_driver");
#endif
}

QProcessEnvironment environment(const QString& data) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString dataHome = TestFiles::dataHomeFor(data);
    if (!dataHome.isEmpty())
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

Result run(const QStringList& arguments, const QProcessEnvironment& environment, int killAfterMs,
           const QStringList& wrapper) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList command = wrapper + QStringList{path()} + arguments;
    const QString program = command.takeFirst();
    QElapsedTimer timer;
    timer.start();
    process.start(program, command);
    Result result;
    if (!process.waitForStarted())
        return result;
    if (killAfterMs >= 0 && !process.waitForFinished(killAfterMs)) {
        process.kill(); // SIGKILL, or TerminateProcess: no chance to tidy up
        process.waitForFinished();
    } else {
        process.waitForFinished(300000);
    }
    result.elapsedMs = timer.elapsed();
    result.normalExit = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = result.normalExit ? process.exitCode() : -1;
    result.output = QString::fromUtf8(process.readAll());
    return result;
}

} // namespace Driver
