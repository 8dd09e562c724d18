#include "AboutPanel.h"

#include "LinkLabel.h"
#include "ObjectNames.h"
#include "ShadowedLabel.h"
#include "WidgetKit.h"

#include <QPainter>

namespace kalent {

namespace {

const QColor MediumGrey(0x80, 0x80, 0x80);

QFont boldFont(const QFont &base, int pixelSize)
{
    QFont font = base;
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

// The text takes one of the palette's own colours.
void setTextColour(QWidget *widget, QPalette::ColorRole role)
{
    WidgetKit::setTextColour(widget, widget->palette().color(role));
}

// A grey panel of the page: light text with a 1-pixel shadow.
void makeGreyPanel(QWidget *panel)
{
    WidgetKit::setBackground(panel, MediumGrey);
    setTextColour(panel, QPalette::Light);
    // Greyed links must still read on grey.
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x50, 0x50, 0x50));
    panel->setPalette(pal);
}

ShadowedLabel *raisedGlyph(const QString &text, const QString &name, QWidget *parent)
{
    auto *label = new ShadowedLabel(text, ShadowedLabel::TextStyle::Raised, parent);
    label->setObjectName(name);
    label->setFont(boldFont(parent->font(), 32));
    setTextColour(label, QPalette::Light);
    return label;
}

} // namespace

AboutPanel::AboutPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(objectNames::about::Panel);
    const QList<QWidget *> cornerGlyphs = buildGlyphs();
    buildNotes();
    m_purposePanel = greyTextPanel(objectNames::about::PurposePanel,
                                   QStringLiteral("Программа предназначена для\n"
                                                  "совместной  работы анализатора\n"
                                                  "иммуно-ферментных реакций  \n"
                                                  "(ОРМИС - 01)\n"
                                                  "(версий ВИРАНТ-2006 и выше)\n"
                                                  "с персональным компьютером."),
                                   QRect(8, 48, 225, 89));
    m_requirementsPanel = greyTextPanel(objectNames::about::RequirementsPanel,
                                        QStringLiteral("Технические требования:\n"
                                                       "IBM совместимый\n"
                                                       "персональный компьютер.\n"
                                                       "Windows 98,2000,NT,XP.\n"
                                                       "(Рекомендуемая скорость обмена\n"
                                                       "порта связи - 115200бод)"),
                                        QRect(8, 144, 225, 89));
    buildLinks();

    // The glyph in the corner lies over the title's leading blanks.
    for (QWidget *glyph : cornerGlyphs)
        glyph->raise();
}

// The raised title and name and the two signs; the signs are returned.
QList<QWidget *> AboutPanel::buildGlyphs()
{
    auto *title =
        raisedGlyph(QStringLiteral("   КАЛЕНТ - сервис"), objectNames::about::ProgramName, this);
    title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_title = title;

    auto *bottomName =
        raisedGlyph(QStringLiteral("ВИРАНТ   "), objectNames::about::InstrumentName, this);
    bottomName->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_bottomName = bottomName;

    // The Symbol font's 0xE3 and 0xE2 are the sans-serif copyright and
    // registered signs; the Unicode signs stand in for them.
    auto *copyright = raisedGlyph(QStringLiteral("\u00A9"), objectNames::about::Copyright, this);
    copyright->setAlignment(Qt::AlignCenter);
    copyright->setGeometry(0, 0, 25, 32);
    auto *registered = raisedGlyph(QStringLiteral("\u00AE"), objectNames::about::Registered, this);
    registered->setAlignment(Qt::AlignCenter);
    registered->setGeometry(456, 264, 25, 32);
    return {copyright, registered};
}

// The version and the instruments the program is for.
void AboutPanel::buildNotes()
{
    auto *version = new QLabel(QStringLiteral("(версия:04_11_2011.rx)"), this);
    version->setObjectName(objectNames::about::Version);
    version->setFont(boldFont(font(), 13));
    setTextColour(version, QPalette::Highlight);
    version->move(304, 16);
    version->adjustSize();

    auto *devices = new QLabel(
        QStringLiteral("(Только для приборов типа:\n ВИРАНТ     V.<дата>.rx    )"), this);
    devices->setObjectName(objectNames::about::Devices);
    devices->setFont(boldFont(font(), 13));
    setTextColour(devices, QPalette::Highlight);
    devices->move(24, 280);
    devices->adjustSize();
}

// A grey panel holding a centred text with a shadow.
QWidget *AboutPanel::greyTextPanel(const QString &name, const QString &text, const QRect &geometry)
{
    auto *panel = new ShadowedLabel(text, ShadowedLabel::TextStyle::Shadowed, this);
    panel->setObjectName(name);
    panel->setAlignment(Qt::AlignCenter);
    makeGreyPanel(panel);
    panel->setGeometry(geometry);
    return panel;
}

// The links panel: what the program can do, one link label an action.
void AboutPanel::buildLinks()
{
    auto *linksPanel = new QWidget(this);
    linksPanel->setObjectName(objectNames::about::LinksPanel);
    makeGreyPanel(linksPanel);
    linksPanel->setGeometry(248, 48, 225, 185);
    m_linksPanel = linksPanel;

    auto *heading = new ShadowedLabel(QStringLiteral("С помощью этй программы\nВы можете:"),
                                      ShadowedLabel::TextStyle::Shadowed, linksPanel);
    heading->setObjectName(objectNames::about::LinksHeading);
    heading->setAlignment(Qt::AlignCenter);
    heading->setGeometry(0, 0, 225, 33);

    struct Link
    {
        Page page;
        QLatin1String name;
        QString text;
        int y;
        int height;
    };
    const Link links[] = {
        {Page::Firmware, objectNames::about::LinkFirmware,
         QStringLiteral(" - Перепрограммировать прибор новой\n"
                        "      программой управления."),
         33, 40},
        {Page::Database, objectNames::about::LinkDatabase,
         QStringLiteral(" - Записать в прибор новую базу данных\n"
                        "      тест-систем."),
         73, 40},
        {Page::Reader, objectNames::about::LinkReader,
         QStringLiteral(" - Считать с прибора таблицу измеренных\n"
                        "      оптических плотностей."),
         113, 40},
        {Page::Results, objectNames::about::LinkResults,
         QStringLiteral(" - Считать с прибора протокол результатов\n"
                        "      измерений."),
         153, 32},
    };
    for (const Link &l : links) {
        auto *label = new LinkLabel(l.text, linksPanel);
        label->setObjectName(l.name);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setGeometry(0, l.y, 225, l.height);
        m_links[static_cast<size_t>(l.page)] = label;
    }
}

void AboutPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int height = 40;
    m_title->setGeometry(0, 0, width(), height);
    m_bottomName->setGeometry(0, this->height() - height, width(), height);
    m_title->lower();
    m_bottomName->lower();
}

void AboutPanel::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    for (const QWidget *panel : {m_purposePanel, m_linksPanel, m_requirementsPanel})
        WidgetKit::paintPanelShadow(painter, panel->geometry());
}

} // namespace kalent
