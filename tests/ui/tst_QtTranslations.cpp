#include "common/QtTranslations.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

using namespace kalent;

// Qt's own texts in the window: the standard buttons and the file dialogs the
// operator meets (Qt's widget dialogs, as under any X desktop without a portal).
class tst_QtTranslations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(installQtTranslations(*QCoreApplication::instance())); }

    void standardButtonsAreRussian()
    {
        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));

        QMessageBox box(QMessageBox::Warning, QStringLiteral("Внимание! Проверьте."),
                        QStringLiteral("Режим программирования в приборе включен?"),
                        QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')),
                 QStringLiteral("Да"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')),
                 QStringLiteral("Нет"));
        // The program's own texts are not Qt's and stay as they are.
        QCOMPARE(box.windowTitle(), QStringLiteral("Внимание! Проверьте."));
        QCOMPARE(box.text(), QStringLiteral("Режим программирования в приборе включен?"));
    }

    void fileDialogSpeaksRussian()
    {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(QStringLiteral("Таблица Excel (*.xls)"));
        QStringList texts;
        for (const QLabel *label : dialog.findChildren<QLabel *>())
            texts.append(label->text().remove(QLatin1Char('&')));
        for (const QPushButton *button : dialog.findChildren<QPushButton *>())
            texts.append(button->text().remove(QLatin1Char('&')));
        const QString all = texts.join(QLatin1Char('|'));
        for (const char *english : {"Look in", "File name", "Files of type", "Cancel", "Save"})
            QVERIFY2(!all.contains(QLatin1String(english)), qPrintable(all));
        QVERIFY2(all.contains(QStringLiteral("Отмена")), qPrintable(all));
        QVERIFY2(all.contains(QStringLiteral("Имя файла")), qPrintable(all));
    }
};

QTEST_MAIN(tst_QtTranslations)
#include "tst_QtTranslations.moc"
