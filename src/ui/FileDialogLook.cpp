#include "FileDialogLook.h"

#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
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
    if (auto *view = dialog->findChild<QTreeView *>(QStringLiteral("treeView"))) {
        QHeaderView *header = view->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
        for (int column = NameColumn + 1; column <= LastColumn; ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    // Room for a long name beside the three columns.
    dialog->resize(std::max(dialog->width(), MinimumWidth),
                   std::max(dialog->height(), MinimumHeight));
}

} // namespace kalent::FileDialogLook
