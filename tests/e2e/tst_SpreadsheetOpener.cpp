#include "DesktopServicesOpener.h"
#include "ObjectNames.h"
#include "ReaderPage.h"
#include "TestSupport.h"
#include "measurement/OpticalDensityReader.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace kalent;
using kalent::test::SimRig;

namespace {

// An xdg-open of the test's own, first on PATH: it writes the file it was given
// beside itself and exits with the given status, as the desktop's opener does
// when no application takes the file.
class FakeXdgOpen
{
public:
    explicit FakeXdgOpen(int exitCode) : m_oldPath(qgetenv("PATH"))
    {
        QFile script(m_dir.filePath(QStringLiteral("xdg-open")));
        if (!script.open(QIODevice::WriteOnly))
            return;
        script.write(QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > '%1'\nexit %2\n")
                         .arg(handedFile())
                         .arg(exitCode)
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_oldPath);
    }
    ~FakeXdgOpen() { qputenv("PATH", m_oldPath); }

    QString handedFile() const { return m_dir.filePath(QStringLiteral("handed")); }
    QString handed() const
    {
        QFile file(handedFile());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

} // namespace

// The reader page's spreadsheet buttons with the window's own opener, which runs
// xdg-open as a process and reads its exit status.
class tst_SpreadsheetOpener : public QObject
{
    Q_OBJECT

private:
    // A page with a table received, ready for "Данные в Excel".
    struct Page
    {
        SimRig rig;
        DesktopServicesOpener opener;
        ReaderPage page{rig.session, opener};
        OpticalDensityReader &reader = rig.session.reader();

        bool receiveTable()
        {
            if (!rig.connectFast())
                return false;
            QSignalSpy received(&reader, &OpticalDensityReader::tableReceived);
            page.findChild<QPushButton *>(objectNames::reader::Read)->click();
            return rig.runUntil([&] { return received.count() == 1; });
        }
        QMessageBox *errorBox() const
        {
            return page.findChild<QMessageBox *>(objectNames::measurement::FileErrorBox);
        }
    };

private Q_SLOTS:
    void openerThatFailsIsShownInAMessageBox()
    {
        FakeXdgOpen xdgOpen(1);
        Page p;
        QVERIFY(p.receiveTable());
        p.page.findChild<QPushButton *>(objectNames::reader::CreateWorkbook)->click();

        QTRY_VERIFY(p.errorBox());
        const QString temp = p.reader.excelTempFileName();
        QCOMPARE(xdgOpen.handed(), temp);
        QCOMPARE(p.errorBox()->text(),
                 QStringLiteral("Не удалось открыть файл %1 в приложении для таблиц.\n"
                                "Программа xdg-open не приняла запрос (код 1).")
                     .arg(QDir::toNativeSeparators(temp)));
        QCOMPARE(p.errorBox()->icon(), QMessageBox::Critical);
        // Nothing was shown, so nothing is held for the spreadsheet.
        QVERIFY(!p.reader.handOff().shown());
        QVERIFY(p.reader.handOff().heldFile().isEmpty());
    }

    void openerWithoutAnApplicationForTheTypeSaysSo()
    {
        FakeXdgOpen xdgOpen(4);
        Page p;
        const QString chosen = p.rig.dataDir.filePath(QStringLiteral("VirDat_1.xls"));
        QFile file(chosen);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        // "Из файла в Excel": the open dialog's choice goes to the opener.
        auto *dialog = p.page.findChild<QFileDialog *>(objectNames::reader::OpenDialog);
        QVERIFY(dialog);
        Q_EMIT dialog->fileSelected(chosen);

        QTRY_VERIFY(p.errorBox());
        QCOMPARE(xdgOpen.handed(), chosen);
        QVERIFY(p.errorBox()->text().endsWith(
            QStringLiteral("\nВ системе нет приложения для файлов этого типа, или оно не "
                           "запустилось (код 4).")));
        QVERIFY(!p.reader.handOff().shown());
    }

    void openerThatSucceedsShowsNoBox()
    {
        FakeXdgOpen xdgOpen(0);
        Page p;
        QVERIFY(p.receiveTable());
        p.page.findChild<QPushButton *>(objectNames::reader::CreateWorkbook)->click();
        QTRY_COMPARE(p.opener.runningCount(), 0);
        QCOMPARE(xdgOpen.handed(), p.reader.excelTempFileName());
        QCoreApplication::processEvents();
        QVERIFY(!p.errorBox());
        QVERIFY(p.reader.handOff().shown());
        QCOMPARE(p.reader.handOff().heldFile(), p.reader.excelTempFileName());
    }
};

QTEST_MAIN(tst_SpreadsheetOpener)
#include "tst_SpreadsheetOpener.moc"
