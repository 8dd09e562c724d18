#include "PortPanel.h"

#include "IndicatorCheckBox.h"
#include "ObjectNames.h"
#include "common/OperatorTexts.h"

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
    : QGroupBox(QStringLiteral("Порт связи:"), parent), m_presenter(connection)
{
    setObjectName(objectNames::portPanel::Panel);
    setAlignment(Qt::AlignHCenter);
    setFixedHeight(39);

    buildPortControls();
    buildContactControls();

    // Only what the user does reaches the handlers: activated and Enter are
    // never raised by the program's own setting of the boxes.
    connect(m_portBox, &QComboBox::activated, this,
            [this](int index) { portChosen(m_portBox->itemText(index)); });
    connect(m_portBox->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { portChosen(m_portBox->currentText()); });
    connect(m_speedBox, &QComboBox::activated, this,
            [this](int index) { speedChosen(m_speedBox->itemText(index)); });
    connect(m_speedBox->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { speedChosen(m_speedBox->currentText()); });
    // The box only mirrors the port: a click puts its state back.
    connect(m_portOpenBox, &QCheckBox::clicked, this, [this] { mirror(true); });
    connect(m_checkButton, &QPushButton::clicked, &m_presenter, &PortPanelPresenter::checkPressed);
    connect(m_contactButton, &QPushButton::clicked, &m_presenter,
            &PortPanelPresenter::contactPressed);
    connect(&m_presenter, &PortPanelPresenter::viewChanged, this, [this] { mirror(false); });

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
        m_presenter.portListOpening();
    };
    m_portBox = portBox;
    m_portBox->setGeometry(Border, ControlTop, 55, 21);

    // The box only mirrors the port: it shows the state and is not an input.
    m_portOpenBox = new IndicatorCheckBox(this);
    m_portOpenBox->setObjectName(objectNames::portPanel::PortOpen);
    m_portOpenBox->setToolTip(QStringLiteral("Включение/выключение порта."));
    m_portOpenBox->setLayoutDirection(Qt::RightToLeft); // caption on the left of the box
    m_portOpenBox->setGeometry(64, 16, 49, 17);

    m_linkLamp = new QToolButton(this);
    m_linkLamp->setObjectName(objectNames::portPanel::LinkLamp);
    m_linkLamp->setToolTip(QStringLiteral("Индикатор связи."));
    m_linkLamp->setAutoRaise(true);
    m_linkLamp->setIcon(indicatorIcon());
    m_linkLamp->setIconSize(QSize(16, 16));
    m_linkLamp->setGeometry(120, 14, 23, 22);
    m_linkLamp->setFocusPolicy(Qt::NoFocus);

    m_parameters = new QLabel(this);
    m_parameters->setObjectName(objectNames::portPanel::LinkParameters);
    m_parameters->setTextFormat(Qt::PlainText);
    m_parameters->setToolTip(QStringLiteral("Параметры порта: скорость,биты,паритет,стоп-бит"));
    m_parameters->setGeometry(152, 19, 129, 17);
}

// The speed box and the two contact buttons (placed by resizeEvent).
void PortPanel::buildContactControls()
{
    m_speedBox = editableBox(objectNames::portPanel::Speed, OperatorTexts::speedChange(), this);
    m_speedBox->addItems(PortPanelPresenter::speedItems());
    m_speedBox->setGeometry(288, 16, 65, 21);

    m_checkButton = new QPushButton(QStringLiteral("?"), this);
    m_checkButton->setObjectName(objectNames::portPanel::CheckContact);
    m_checkButton->setToolTip(QStringLiteral("Проверка контакта с прибором."));
    m_checkButton->resize(24, 23);

    m_contactButton = new QPushButton(this);
    m_contactButton->setObjectName(objectNames::portPanel::Contact);
    m_contactButton->setToolTip(OperatorTexts::contactSearch());
    m_contactButton->resize(72, 23);
}

void PortPanel::portChosen(const QString &text)
{
    m_presenter.portChosen(text);
    mirror(true);
}

void PortPanel::speedChosen(const QString &text)
{
    m_presenter.speedChosen(text);
    mirror(true);
}

void PortPanel::mirror(bool force)
{
    const PortPanelView v = m_presenter.view();
    {
        const QSignalBlocker blockPort(m_portBox);
        setItemsIfChanged(m_portBox, v.ports);
        // Text the user is typing stays until a change of the state replaces it.
        if (force || v.portText != m_shownPortText || !m_portBox->lineEdit()->isModified())
            showText(m_portBox, v.portText);
        m_shownPortText = v.portText;
        m_portBox->setEnabled(v.portEnabled);
        // The whole path where the box has no room for it.
        m_portBox->lineEdit()->setToolTip(
            v.portText.isEmpty() ? PortHint : PortHint + QLatin1Char('\n') + v.portText);
    }
    {
        const QSignalBlocker blockOpen(m_portOpenBox);
        m_portOpenBox->setChecked(v.portOpenChecked);
        m_portOpenBox->setText(v.portOpenCaption);
    }
    m_linkLamp->setEnabled(v.lampOn);
    m_parameters->setText(v.parametersText);
    {
        const QSignalBlocker blockSpeed(m_speedBox);
        if (force || v.speedText != m_shownSpeedText || !m_speedBox->lineEdit()->isModified())
            showText(m_speedBox, v.speedText);
        m_shownSpeedText = v.speedText;
        m_speedBox->setEnabled(v.speedEnabled);
    }
    m_checkButton->setEnabled(v.checkEnabled);
    m_contactButton->setEnabled(v.contactEnabled);
    m_contactButton->setText(v.contactCaption);
}

void PortPanel::resizeEvent(QResizeEvent *event)
{
    QGroupBox::resizeEvent(event);
    // The two buttons keep to the right edge whatever width the splitter leaves.
    const int right = width() - Border;
    m_contactButton->move(right - m_contactButton->width(), ControlTop - 1);
    m_checkButton->move(m_contactButton->x() - m_checkButton->width(), ControlTop - 1);
}

} // namespace kalent
