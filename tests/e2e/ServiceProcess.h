#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

#include <functional>

namespace kalent::test {

// One run of the built program to its end: the exit code (-1 when it crashed or
// was killed for outliving limitMs) and both streams. prepare may set the
// process up before it starts (environment, resource limits).
struct ServiceRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ServiceRun runService(const QString &program, const QStringList &arguments, int limitMs,
                             const std::function<void(QProcess &)> &prepare = {})
{
    QProcess p;
    if (prepare)
        prepare(p);
    p.start(program, arguments);
    ServiceRun r;
    if (!p.waitForFinished(limitMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// The same while this process's event loop keeps running, for a test that serves
// the instrument itself (an in-process pty line) while the program talks to it.
inline ServiceRun runServiceServing(const QString &program, const QStringList &arguments,
                                    int limitMs)
{
    QProcess p;
    p.start(program, arguments);
    ServiceRun r;
    if (!p.waitForStarted())
        return r;
    QDeadlineTimer deadline(limitMs);
    while (p.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(10);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// The built-in instrument served on a pseudo-terminal by a second copy of the
// built program ("simulate --pty", with more options such as --replay FILE), so
// the real serial port code runs.
class PtyInstrumentProcess
{
public:
    ~PtyInstrumentProcess() { stop(); }

    // False unless the program started and printed the pty's path.
    bool start(const QString &program, const QStringList &moreArguments = {})
    {
        m_process.start(program, QStringList{QStringLiteral("simulate"), QStringLiteral("--pty")} +
                                     moreArguments);
        if (!m_process.waitForStarted() || !m_process.waitForReadyRead(10000))
            return false;
        m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return m_path.startsWith(QLatin1Char('/'));
    }
    // Ends the process; returns what it said on stderr.
    QString stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000))
                m_process.kill();
        }
        return QString::fromUtf8(m_process.readAllStandardError());
    }
    QString path() const { return m_path; }
    qint64 processId() const { return m_process.processId(); }

private:
    QProcess m_process;
    QString m_path;
};

} // namespace kalent::test
