#include "MeasurementWidgets.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace kalent::MeasurementWidgets {

QLabel *titleBand(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Light));
    label->setPalette(palette);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setContentsMargins(4, 2, 4, 2);
    auto *shadow = new QGraphicsDropShadowEffect(label);
    shadow->setOffset(1, 1);
    shadow->setBlurRadius(0);
    shadow->setColor(Qt::black);
    label->setGraphicsEffect(shadow);
    return label;
}

QPushButton *button(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(objectName);
    return b;
}

QCheckBox *checkBox(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(objectName);
    return box;
}

QFileDialog *saveDialog(const QString &folder, QWidget *parent)
{
    auto *dialog = new QFileDialog(parent);
    dialog->setObjectName(QStringLiteral("sdlgSaveVirDat"));
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
    return dialog;
}

void showFileError(const QString &message, QWidget *parent)
{
    auto *box = new QMessageBox(QMessageBox::Critical, QStringLiteral("КАЛЕНТ-сервис"), message,
                                QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("fileErrorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace kalent::MeasurementWidgets
