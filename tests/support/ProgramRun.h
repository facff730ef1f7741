#pragma once
// The program run as a user's shell runs it: arguments, standard input and output.

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace program {

struct Result {
    int exit = -1;
    QByteArray out;
    QString err;
};

// The program's command-line face: on Windows the console program beside the tests.
inline QString binary()
{
#ifdef TOLVANE_BINARY_NAME
    return QCoreApplication::applicationDirPath() + QStringLiteral("/" TOLVANE_BINARY_NAME);
#else
    return QStringLiteral(TOLVANE_BINARY);
#endif
}

inline Result finish(QProcess& p, const QByteArray& input)
{
    p.waitForStarted();
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            QString::fromUtf8(p.readAllStandardError())};
}

inline Result tolvane(const QStringList& args, const QByteArray& input = QByteArray(),
                      const QString& stdoutFile = QString(), const QString& stdinFile = QString())
{
    QProcess p;
    if (!stdoutFile.isEmpty())
        p.setStandardOutputFile(stdoutFile);
    if (!stdinFile.isEmpty())
        p.setStandardInputFile(stdinFile);
#ifdef _WIN32
    // The tests read what the program says as UTF-8. Without --utf8 it would write the
    // console's code page: tools/wine-install-test.sh tries that in a Japanese prefix.
    p.start(binary(), QStringList{QStringLiteral("--utf8")} + args);
#else
    p.start(binary(), args);
#endif
    return finish(p, input);
}

} // namespace program
