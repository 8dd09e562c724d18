#include "ApplicationIcon.h"
#include "MainWindow.h"
#include "WindowComposition.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

using namespace kalent;

namespace {

// The sizes a desktop asks for most: the title bar, menus, the task bar, the switcher.
const QList<int> smallSizes = {16, 24, 32, 48};

bool near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance && qAbs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

QString resourcesFolder()
{
    return QStringLiteral(KALENT_RESOURCES_DIR);
}

} // namespace

// The icon the program gives its windows, and that its renders read at every size.
class tst_ApplicationIcon : public QObject
{
    Q_OBJECT

private slots:
    void theProgramsWindowCarriesTheIconAtEverySmallSize()
    {
        QTemporaryDir data;
        WindowComposition::Options options;
        options.dataDir = data.path();
        WindowComposition composition(options);
        composition.window().show();
        QWindow *native = composition.window().windowHandle();
        QVERIFY(native);
        // What the window system is given (_NET_WM_ICON on X11).
        const QIcon icon = native->icon();
        QVERIFY(!icon.isNull());
        for (int size : smallSizes) {
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)),
                     qPrintable(QString::number(size)));
            QCOMPARE(icon.pixmap(QSize(size, size)).size(), QSize(size, size));
        }
        QVERIFY(!QGuiApplication::windowIcon().isNull());
    }

    // Each render keeps the drawing's shapes on whole pixels: the wells are
    // their own colours at the centre and the plate shows between them, so
    // nothing turns into a pale blur at 16 px.
    void theWellsAreDistinctAtEverySmallSize_data()
    {
        QTest::addColumn<int>("size");
        for (int size : smallSizes)
            QTest::newRow(qPrintable(QStringLiteral("%1 px").arg(size))) << size;
    }

    void theWellsAreDistinctAtEverySmallSize()
    {
        QFETCH(int, size);
        const QImage image = ApplicationIcon::icon()
                                 .pixmap(QSize(size, size))
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(size, size));
        // Drawing units are 48 to the side; the first row's wells are centred on
        // y = 15, columns on x = 6, 15, 24 …; the plate between wells at x = 10.5.
        // A well's centre falls on a pixel corner at 16 px: look at the pixel
        // just above and left of it, which the well covers whole.
        const auto at = [&](double x, double y) {
            return image.pixel(int(x * size / 48.0 - 0.5), int(y * size / 48.0 - 0.5));
        };
        const auto between = [&](double x, double y) {
            return image.pixel(int(x * size / 48.0), int(y * size / 48.0));
        };
        const QRgb orange = qRgb(0xe8, 0x59, 0x0c);
        const QRgb yellow = qRgb(0xf7, 0xb8, 0x01);
        const QRgb plate = qRgb(0x1d, 0x4f, 0x7c);
        QVERIFY2(near(at(6, 15), orange, 40), qPrintable(QString::number(at(6, 15), 16)));
        QVERIFY2(near(at(24, 15), yellow, 40), qPrintable(QString::number(at(24, 15), 16)));
        QVERIFY2(near(at(33, 15), qRgb(255, 255, 255), 40),
                 qPrintable(QString::number(at(33, 15), 16)));
        QVERIFY2(near(between(10.5, 15), plate, 24),
                 qPrintable(QString::number(between(10.5, 15), 16)));
        // Outside the plate the icon is transparent, so it sits on any panel.
        QCOMPARE(qAlpha(image.pixel(size / 2, 0)), 0);
    }

    // The PNGs in the package are renders of the SVG beside them, not drawings
    // of their own that could drift from it.
    void theCommittedRendersMatchTheDrawing()
    {
        const QString renderer = QStandardPaths::findExecutable(QStringLiteral("rsvg-convert"));
        if (renderer.isEmpty())
            QSKIP("rsvg-convert (librsvg2-bin, installed by scripts/install-deps.sh --test) "
                  "is needed to render the SVG");
        QTemporaryDir dir;
        for (int size : ApplicationIcon::sizes()) {
            const QString rendered = dir.filePath(QStringLiteral("%1.png").arg(size));
            QProcess process;
            process.start(renderer,
                          {QStringLiteral("-w"), QString::number(size), QStringLiteral("-h"),
                           QString::number(size), resourcesFolder() + "/kalent-service.svg",
                           QStringLiteral("-o"), rendered});
            QVERIFY(process.waitForFinished(30000));
            QCOMPARE(process.exitCode(), 0);
            const QImage fresh = QImage(rendered).convertToFormat(QImage::Format_ARGB32);
            const QImage committed =
                QImage(resourcesFolder() + QStringLiteral("/icons/kalent-service-%1.png").arg(size))
                    .convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(committed.size(), QSize(size, size));
            QCOMPARE(fresh.size(), committed.size());
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    QVERIFY2(near(fresh.pixel(x, y), committed.pixel(x, y), 2),
                             qPrintable(QStringLiteral("%1 px differs at %2,%3; render again "
                                                       "with rsvg-convert")
                                            .arg(size)
                                            .arg(x)
                                            .arg(y)));
        }
    }
};

QTEST_MAIN(tst_ApplicationIcon)
#include "tst_ApplicationIcon.moc"
