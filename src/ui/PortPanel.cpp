#include "PortPanel.h"

#include "IndicatorCheckBox.h"
#include "ObjectNames.h"
#include "common/OperatorTexts.h"
#include "link/Connection.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>

#include <functional>

namespace kalent {

namespace {

constexpr int ControlTop = 15;
constexpr int Border = 1;
const QString PortHint = QStringLiteral("Выбор Com-порта.");

// The port box is 55 pixels wide and device paths are long: while the operator
// is not typing, the path is drawn elided on the left, so its end ("…pts/3",
// "…ttyUSB0") is what shows. The text itself stays whole.
class PathLineEdit : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        const QString whole = text();
        if (hasFocus() || fontMetrics().horizontalAdvance(whole) <= contentsRect().width() - 4) {
            QLineEdit::paintEvent(event);
            return;
        }
        QPainter painter(this);
        QStyleOptionFrame option;
        initStyleOption(&option);
        style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
        QRect area = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
        area.adjust(2, 0, -2, 0);
        painter.setPen(
            palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(whole, Qt::ElideLeft, area.width()));
    }
};

// Reads the ports again just before its list opens.
class PortComboBox : public QComboBox
{
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;

    void showPopup() override
    {
        if (beforePopup)
            beforePopup();
        QComboBox::showPopup();
    }
};

// The link indicator's two images: a lit lamp, and a dark one when disabled.
QIcon indicatorIcon()
{
    const auto lamp = [](const QColor &fill, const QColor &rim) {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(rim, 1.5));
        QRadialGradient glow(QPointF(6, 6), 8);
        glow.setColorAt(0, fill.lighter(170));
        glow.setColorAt(1, fill);
        painter.setBrush(glow);
        painter.drawEllipse(QRectF(2, 2, 12, 12));
        return pixmap;
    };
    QIcon icon;
    icon.addPixmap(lamp(QColor(0x10, 0xb0, 0x20), QColor(0x0a, 0x50, 0x10)), QIcon::Normal);
    icon.addPixmap(lamp(QColor(0x70, 0x70, 0x70), QColor(0x40, 0x40, 0x40)), QIcon::Disabled);
    return icon;
}

void setItemsIfChanged(QComboBox *box, const QStringList &items)
{
    QStringList current;
    for (int i = 0; i < box->count(); ++i)
        current.append(box->itemText(i));
    if (current == items)
        return;
    box->clear();
    box->addItems(items);
    // The box is 55 pixels wide; its list shows whole device paths.
    box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 8);
}

// Shows text in an editable box: the matching item when there is one.
void showText(QComboBox *box, const QString &text)
{
    box->setCurrentIndex(box->findText(text));
    box->setEditText(text);
}

void makeEditable(QComboBox *box, const QString &name, const QString &hint)
{
    box->setObjectName(name);
    box->setToolTip(hint);
    box->setEditable(true);
    // Enter is handled here, once; the box inserts nothing and completes nothing.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
}

QComboBox *editableBox(const QString &name, const QString &hint, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    makeEditable(box, name, hint);
    return box;
}

} // namespace

PortPanel::PortPanel(Connection &connection, QWidget *parent)
    : QGroupBox(QStringLiteral("Порт связи:"), parent), m_link(connection)
{
    setObjectName(objectNames::portPanel::Panel);
    setAlignment(Qt::AlignHCenter);
    setFixedHeight(39);

    buildPortControls();
    buildContactControls();

    // Only what the user does reaches the handlers: activated and Enter are
    // never raised by the program's own setting of the boxes.
    connect(m_cbxNumPort, &QComboBox::activated, this,
            [this](int index) { portChosen(m_cbxNumPort->itemText(index)); });
    connect(m_cbxNumPort->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { portChosen(m_cbxNumPort->currentText()); });
    connect(m_cbBaudRate, &QComboBox::activated, this, &PortPanel::baudChosen);
    connect(m_cbBaudRate->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { baudTyped(m_cbBaudRate->currentText()); });
    connect(m_cbPortOpen, &QCheckBox::clicked, this, [this] {
        m_link.cbPortOpenClick();
        mirror(true);
    });
    connect(m_btnVerifyConnect, &QPushButton::clicked, &m_link, &Connection::btnVerifyConnectClick);
    connect(m_btnConnect, &QPushButton::clicked, &m_link, &Connection::btnConnectClick);
    connect(&m_link, &Connection::panelChanged, this, [this] { mirror(false); });

    mirror(true);
}

// The port box, its on/off box, the link indicator and the parameters.
void PortPanel::buildPortControls()
{
    auto *portBox = new PortComboBox(this);
    portBox->setEditable(true);
    portBox->setLineEdit(new PathLineEdit(portBox));
    makeEditable(portBox, objectNames::portPanel::PortName, PortHint);
    portBox->beforePopup = [this] {
        m_link.refreshPorts();
    };
    m_cbxNumPort = portBox;
    m_cbxNumPort->setGeometry(Border, ControlTop, 55, 21);

    // The box only mirrors the port: it shows the state and is not an input.
    m_cbPortOpen = new IndicatorCheckBox(this);
    m_cbPortOpen->setObjectName(objectNames::portPanel::PortOpen);
    m_cbPortOpen->setToolTip(QStringLiteral("Включение/выключение порта."));
    m_cbPortOpen->setLayoutDirection(Qt::RightToLeft); // caption on the left of the box
    m_cbPortOpen->setGeometry(64, 16, 49, 17);

    m_sbtnCommON = new QToolButton(this);
    m_sbtnCommON->setObjectName(objectNames::portPanel::LinkLamp);
    m_sbtnCommON->setToolTip(QStringLiteral("Индикатор связи."));
    m_sbtnCommON->setAutoRaise(true);
    m_sbtnCommON->setIcon(indicatorIcon());
    m_sbtnCommON->setIconSize(QSize(16, 16));
    m_sbtnCommON->setGeometry(120, 14, 23, 22);
    m_sbtnCommON->setFocusPolicy(Qt::NoFocus);

    m_lbCommParam = new QLabel(this);
    m_lbCommParam->setObjectName(objectNames::portPanel::LinkParameters);
    m_lbCommParam->setTextFormat(Qt::PlainText);
    m_lbCommParam->setToolTip(QStringLiteral("Параметры порта: скорость,биты,паритет,стоп-бит"));
    m_lbCommParam->setGeometry(152, 19, 129, 17);
}

// The speed box and the two contact buttons (placed by resizeEvent).
void PortPanel::buildContactControls()
{
    m_cbBaudRate = editableBox(objectNames::portPanel::Speed, OperatorTexts::speedChange(), this);
    m_cbBaudRate->addItems(Connection::baudRates());
    m_cbBaudRate->setGeometry(288, 16, 65, 21);

    m_btnVerifyConnect = new QPushButton(QStringLiteral("?"), this);
    m_btnVerifyConnect->setObjectName(objectNames::portPanel::CheckContact);
    m_btnVerifyConnect->setToolTip(QStringLiteral("Проверка контакта с прибором."));
    m_btnVerifyConnect->resize(24, 23);

    m_btnConnect = new QPushButton(this);
    m_btnConnect->setObjectName(objectNames::portPanel::Contact);
    m_btnConnect->setToolTip(OperatorTexts::contactSearch());
    m_btnConnect->resize(72, 23);
}

void PortPanel::portChosen(const QString &text)
{
    m_link.cbxNumPortChange(text);
    mirror(true);
}

void PortPanel::baudChosen(int index)
{
    m_link.cbBaudRateChange(index);
    mirror(true);
}

void PortPanel::baudTyped(const QString &text)
{
    m_link.cbBaudRateTextChange(text);
    mirror(true);
}

void PortPanel::mirror(bool force)
{
    const PortPanelState &s = m_link.panel();
    {
        const QSignalBlocker blockPort(m_cbxNumPort);
        setItemsIfChanged(m_cbxNumPort, s.ports);
        // Text the user is typing stays until a change of the state replaces it.
        if (force || s.portText != m_shownPortText || !m_cbxNumPort->lineEdit()->isModified())
            showText(m_cbxNumPort, s.portText);
        m_shownPortText = s.portText;
        m_cbxNumPort->setEnabled(s.portEnabled);
        // The whole path where the box has no room for it.
        m_cbxNumPort->lineEdit()->setToolTip(
            s.portText.isEmpty() ? PortHint : PortHint + QLatin1Char('\n') + s.portText);
    }
    {
        const QSignalBlocker blockOpen(m_cbPortOpen);
        m_cbPortOpen->setChecked(s.portOpenChecked);
        m_cbPortOpen->setText(s.portOpenCaption);
    }
    m_sbtnCommON->setEnabled(s.indicatorOn);
    m_lbCommParam->setText(s.commParamText);
    {
        const QSignalBlocker blockBaud(m_cbBaudRate);
        if (force || s.baudText != m_shownBaudText || !m_cbBaudRate->lineEdit()->isModified())
            showText(m_cbBaudRate, s.baudText);
        m_shownBaudText = s.baudText;
        m_cbBaudRate->setEnabled(s.baudEnabled);
    }
    m_btnVerifyConnect->setEnabled(s.verifyEnabled);
    m_btnConnect->setEnabled(s.connectEnabled);
    m_btnConnect->setText(s.connectCaption);
}

void PortPanel::resizeEvent(QResizeEvent *event)
{
    QGroupBox::resizeEvent(event);
    // The two buttons keep to the right edge whatever width the splitter leaves.
    const int right = width() - Border;
    m_btnConnect->move(right - m_btnConnect->width(), ControlTop - 1);
    m_btnVerifyConnect->move(m_btnConnect->x() - m_btnVerifyConnect->width(), ControlTop - 1);
}

} // namespace kalent
