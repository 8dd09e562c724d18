#include "BootLoaderView.h"

#include "ObjectNames.h"

#include "BootLoader.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace kalent {

BootLoaderView::BootLoaderView(BootLoader &bootLoader, QWidget *parent)
    : QWidget(parent), m_bootLoader(bootLoader)
{
    setObjectName(objectNames::bootLoader::View);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);

    m_mode = new QLabel(this);
    m_mode->setObjectName(objectNames::bootLoader::Mode);
    column->addWidget(m_mode);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(objectNames::bootLoader::Progress);
    m_progress->setRange(0, 100);
    column->addWidget(m_progress);

    m_received = new QLabel(this);
    m_received->setObjectName(objectNames::bootLoader::Received);
    column->addWidget(m_received);

    m_result = new QLabel(this);
    m_result->setObjectName(objectNames::bootLoader::Result);
    column->addWidget(m_result);

    m_refresh.setSingleShot(true);
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &BootLoaderView::showProgress);
    connect(&m_bootLoader, &BootLoader::programmingModeChanged, this, &BootLoaderView::showMode);
    connect(&m_bootLoader, &BootLoader::uploadProgress, this, &BootLoaderView::progressChanged);
    connect(&m_bootLoader, &BootLoader::uploadFinished, this, [this] {
        m_refresh.stop();
        showProgress();
        showResult();
    });
    showMode(m_bootLoader.inProgrammingMode());
    showProgress();
    showResult();
}

void BootLoaderView::showMode(bool programming)
{
    m_mode->setText(programming ? QStringLiteral("Загрузчик: режим программирования")
                                : QStringLiteral("Загрузчик: рабочая программа"));
}

void BootLoaderView::progressChanged()
{
    if (!m_refresh.isActive())
        m_refresh.start();
}

void BootLoaderView::showProgress()
{
    const qint64 received = m_bootLoader.received();
    const qint64 expected = m_bootLoader.expected();
    m_progress->setValue(expected > 0 ? static_cast<int>(received * 100 / expected) : 0);
    m_received->setText(QStringLiteral("Принято байт: %1 из %2").arg(received).arg(expected));
}

void BootLoaderView::showResult()
{
    m_result->setText(QStringLiteral("Последняя загрузка: ") +
                      BootLoader::describe(m_bootLoader.lastResult()));
}

} // namespace kalent
