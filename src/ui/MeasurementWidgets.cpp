#include "MeasurementWidgets.h"

#include "FileDialogLook.h"
#include "ObjectNames.h"
#include "WidgetKit.h"
#include "common/OperatorTexts.h"

#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProxyStyle>
#include <QRegularExpression>
#include <QTableView>

#include <algorithm>

namespace kalent::MeasurementWidgets {

namespace {

// The item views' text margin is the focus frame's margin plus one pixel on each
// side; the grid shows no focus frame, so one pixel is enough.
class NarrowItemMarginStyle : public QProxyStyle
{
public:
    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        if (metric == PM_FocusFrameHMargin)
            return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

QLabel *titleBand(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(objectName);
    WidgetKit::setBackground(label, QColor(0x80, 0x80, 0x80));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Light));
    label->setPalette(palette);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setContentsMargins(4, 2, 4, 2);
    WidgetKit::addTextShadow(label);
    return label;
}

QFileDialog *fileDialog(const QString &objectName, bool forSaving, const QString &filter,
                        const QString &suffix, const QString &folder, QWidget *parent)
{
    auto *dialog = new QFileDialog(parent);
    dialog->setObjectName(objectName);
    dialog->setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(suffix);
    dialog->setDirectory(folder);
    FileDialogLook::apply(dialog);
    return dialog;
}

QFileDialog *saveDialog(const QString &folder, QWidget *parent)
{
    auto *dialog = new QFileDialog(parent);
    dialog->setObjectName(objectNames::reader::SaveDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(
        {QStringLiteral("Таблица Excel (*.xls)"), QStringLiteral("Текстовый файл (*.txt)")});
    dialog->setDefaultSuffix(QStringLiteral("xls"));
    // A name typed without extension takes the chosen filter's, as the desktop's own
    // save dialogs do: "Текстовый файл" gives .txt (the bytes are the same either way).
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString &filter) {
        static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.(\\w+)\\)"));
        const QRegularExpressionMatch match = pattern.match(filter);
        if (match.hasMatch())
            dialog->setDefaultSuffix(match.captured(1));
    });
    dialog->setDirectory(folder);
    dialog->selectFile(QStringLiteral("VirDat_"));
    FileDialogLook::apply(dialog);
    return dialog;
}

void fitValuesToColumns(QTableView *grid, int columnWidth)
{
    auto *style = new NarrowItemMarginStyle;
    style->setParent(grid);
    grid->setStyle(style);
    // The widest forms the instrument sends: a letter, a sign, two integer digits.
    const QStringList widest = {QStringLiteral("A01.00"), QStringLiteral("-0.123"),
                                QStringLiteral("10.000"), QStringLiteral("-10.00")};
    // The grid line takes the column's last pixel, the text margin one on each side.
    const int gridLine = grid->showGrid() ? 1 : 0;
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
    const int room = columnWidth - gridLine - 2 * margin;
    QFont font = grid->font();
    for (int pixels : {11, 10, 9}) {
        for (int stretch : {int(QFont::Unstretched), int(QFont::SemiCondensed)}) {
            font.setPixelSize(pixels);
            font.setStretch(stretch);
            const QFontMetrics metrics(font);
            int width = 0;
            for (const QString &value : widest)
                width = std::max(width, metrics.horizontalAdvance(value));
            if (width <= room) {
                grid->setFont(font);
                return;
            }
        }
    }
    // Nothing fits (an unusually wide font): the smallest, narrowest try.
    grid->setFont(font);
}

void showFileError(const QString &message, QWidget *parent)
{
    auto *box = new QMessageBox(QMessageBox::Critical, OperatorTexts::programName(), message,
                                QMessageBox::Ok, parent);
    box->setObjectName(objectNames::measurement::FileErrorBox);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace kalent::MeasurementWidgets
