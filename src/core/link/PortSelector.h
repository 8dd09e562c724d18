#pragma once

#include "link/SerialPort.h"

#include <QHash>

#include <memory>

namespace kalent {

// The one port control of the program. It behaves like a single SerialPort whose
// name picks the device: a few reserved names (the built-in instrument "sim")
// stand for ports given to it, every other name is a host device. Settings set
// while one device is chosen carry over to the next, as on one control.
class PortSelector : public SerialPort
{
    Q_OBJECT
public:
    explicit PortSelector(std::unique_ptr<SerialPort> hostPort, QObject *parent = nullptr);

    // The port stays owned by the caller and must outlive the selector.
    void addNamedPort(const QString &name, SerialPort *port);

    QString portName() const override { return m_name; }
    void setPortName(const QString &name) override;
    bool open() override;
    void close() override;
    bool isOpen() const override { return m_current->isOpen(); }
    QString errorString() const override { return m_current->errorString(); }
    bool setSettings(const QString &settings) override;
    QString settings() const override { return m_settings; }
    bool ctsHolding() const override { return m_current->ctsHolding(); }
    int inBufferCount() const override { return m_current->inBufferCount(); }
    QByteArray input() override { return m_current->input(); }
    void discardInput() override { m_current->discardInput(); }
    void discardOutput() override { m_current->discardOutput(); }
    void output(const QByteArray &bytes) override { m_current->output(bytes); }
    qint64 bytesToWrite() const override { return m_current->bytesToWrite(); }
    qint64 bytesQueuedInSystem() const override { return m_current->bytesQueuedInSystem(); }
    bool drain(int timeoutMs) override { return m_current->drain(timeoutMs); }

private:
    void watch(SerialPort *port);

    std::unique_ptr<SerialPort> m_host;
    QHash<QString, SerialPort *> m_named;
    SerialPort *m_current;
    QString m_name;
    QString m_settings = QStringLiteral("9600,n,8,1");
};

} // namespace kalent
