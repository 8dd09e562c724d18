#include "SimulatorPanel.h"

#include "ObjectNames.h"

#include "VirtualInstrument.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalent {

SimulatorPanel::SimulatorPanel(VirtualInstrument &instrument, QWidget *parent)
    : QDockWidget(QStringLiteral("Симулятор прибора ВИРАНТ"), parent), m_instrument(instrument)
{
    setObjectName(objectNames::simulator::Panel);
    // A tool window of its own: docked, it would change the main window's fixed size.
    setAllowedAreas(Qt::NoDockWidgetArea);
    setFeatures(QDockWidget::DockWidgetMovable);
    // Shown with the main window, not as soon as it floats.
    hide();
    setFloating(true);

    auto *body = new QWidget(this);
    m_layout = new QVBoxLayout(body);

    m_power = new QCheckBox(QStringLiteral("Питание прибора включено"), body);
    m_power->setObjectName(objectNames::simulator::Power);
    m_power->setChecked(instrument.isPowered());
    connect(m_power, &QCheckBox::toggled, &instrument, &VirtualInstrument::setPowered);
    connect(&instrument, &VirtualInstrument::powerChanged, m_power, &QCheckBox::setChecked);
    m_layout->addWidget(m_power);

    m_stylus = new QCheckBox(QStringLiteral("Указка удерживается на экране"), body);
    m_stylus->setObjectName(objectNames::simulator::Stylus);
    m_stylus->setChecked(instrument.stylusHeld());
    connect(m_stylus, &QCheckBox::toggled, &instrument, &VirtualInstrument::setStylusHeld);
    m_layout->addWidget(m_stylus);

    auto *measured = new QPushButton(QStringLiteral("Измерение закончено (G)"), body);
    measured->setObjectName(objectNames::simulator::MeasurementFinished);
    connect(measured, &QPushButton::clicked, &instrument,
            [&instrument] { instrument.sendRaw(QByteArrayLiteral("G")); });
    m_layout->addWidget(measured);

    auto *results = new QPushButton(QStringLiteral("Результаты готовы (g)"), body);
    results->setObjectName(objectNames::simulator::ResultsReady);
    connect(results, &QPushButton::clicked, &instrument,
            [&instrument] { instrument.sendRaw(QByteArrayLiteral("g")); });
    m_layout->addWidget(results);

    m_speed = new QLabel(body);
    m_speed->setObjectName(objectNames::simulator::Speed);
    connect(&instrument, &VirtualInstrument::baudChanged, this, &SimulatorPanel::showSpeed);
    showSpeed(instrument.baud());
    m_layout->addWidget(m_speed);
    m_layout->addStretch(1);

    setWidget(body);
}

void SimulatorPanel::addSection(QWidget *section)
{
    section->setParent(widget());
    m_layout->insertWidget(m_layout->count() - 1, section);
}

void SimulatorPanel::showSpeed(int baud)
{
    m_speed->setText(QStringLiteral("Скорость прибора: %1 бод").arg(baud));
}

} // namespace kalent
