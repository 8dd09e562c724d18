#pragma once

#include "link/SerialPort.h"

#include <QByteArray>
#include <QList>

namespace kalent::test {

// A port whose input queue the test fills by hand, piece by piece, and whose
// output it records; commEvent() is raised only when the test says so.
class ScriptedPort : public SerialPort
{
    Q_OBJECT
public:
    QString portName() const override { return m_name; }
    void setPortName(const QString &name) override { m_name = name; }
    bool open() override
    {
        m_open = !failOpen;
        return m_open;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString errorString() const override { return QStringLiteral("scripted failure"); }
    bool setSettings(const QString &settings) override
    {
        m_settings = settings;
        return true;
    }
    QString settings() const override { return m_settings; }
    bool ctsHolding() const override { return m_open && cts; }
    int inBufferCount() const override { return reportedCount >= 0 ? reportedCount : queue.size(); }
    QByteArray input() override
    {
        ++reads;
        QByteArray out = reads <= pieces.size() ? pieces.at(reads - 1) : queue;
        queue.clear();
        reportedCount = -1;
        return out;
    }
    void discardInput() override { queue.clear(); }
    void output(const QByteArray &bytes) override { written.append(bytes); }
    qint64 bytesToWrite() const override { return 0; }

    // Puts bytes in the queue and raises the event.
    void arrive(const QByteArray &bytes)
    {
        queue.append(bytes);
        Q_EMIT commEvent();
    }
    void raise() { Q_EMIT commEvent(); }

    bool cts = true;
    bool failOpen = false;
    QByteArray queue;
    // When >= 0, inBufferCount() reports this until the next read.
    int reportedCount = -1;
    // When set, the n-th read returns pieces[n-1] instead of the queue.
    QList<QByteArray> pieces;
    int reads = 0;
    QByteArray written;

private:
    QString m_name;
    QString m_settings = QStringLiteral("9600,n,8,1");
    bool m_open = false;
};

} // namespace kalent::test
