#include "FileDialogLook.h"

#include "ObjectNames.h"

#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QListView>
#include <QSplitter>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

namespace kalent::FileDialogLook {

namespace {

// Qt's icons, Russian type words. Called from the file system model's own
// thread too: it only reads the QFileInfo it is given.
class RussianFileTypes : public QFileIconProvider
{
public:
    QString type(const QFileInfo &info) const override { return typeOf(info); }
};

// The dialog's model keeps a plain pointer to its icon provider: the provider
// is a child of the dialog, made after the model, so it is destroyed after it.
class FileTypesHolder : public QObject
{
public:
    using QObject::QObject;
    RussianFileTypes types;
};

constexpr int NameColumn = 0;
constexpr int LastColumn = 3; // size, type, date modified
constexpr int MinimumWidth = 720;
constexpr int MinimumHeight = 420;

} // namespace

QString typeOf(const QFileInfo &info)
{
    if (info.isRoot())
        return QStringLiteral("Диск");
    if (info.isDir())
        return QStringLiteral("Папка");
    const QString suffix = info.suffix();
    return suffix.isEmpty() ? QStringLiteral("Файл") : QStringLiteral("Файл ") + suffix.toUpper();
}

void apply(QFileDialog *dialog)
{
    auto *holder = new FileTypesHolder(dialog);
    dialog->setIconProvider(&holder->types);
    if (auto *view = dialog->findChild<QTreeView *>(objectNames::qtDialogs::FileList)) {
        QHeaderView *header = view->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
        for (int column = NameColumn + 1; column <= LastColumn; ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    // Room for a long name beside the three columns.
    dialog->resize(std::max(dialog->width(), MinimumWidth),
                   std::max(dialog->height(), MinimumHeight));
    // The places on the left ("Компьютер" and the home folder) shown whole too.
    auto *sidebar = dialog->findChild<QListView *>(QStringLiteral("sidebar"));
    auto *splitter = dialog->findChild<QSplitter *>(QStringLiteral("splitter"));
    if (sidebar && splitter && splitter->count() == 2) {
        const int needed = sidebar->sizeHintForColumn(0) + 2 * sidebar->frameWidth() +
                           sidebar->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const QList<int> sizes = splitter->sizes();
        const int total = std::max(sizes.value(0) + sizes.value(1), dialog->width());
        if (sizes.value(0) < needed)
            splitter->setSizes({needed, total - needed});
    }
}

} // namespace kalent::FileDialogLook
