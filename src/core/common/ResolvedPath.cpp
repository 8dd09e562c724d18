#include "common/ResolvedPath.h"

#include <QDir>
#include <QFileInfo>

namespace kalent::ResolvedPath {

namespace {

// A chain of links longer than the system follows is not resolved further; the
// write would fail on it anyway.
constexpr int MostLinks = 40;

QString resolved(const QString &path, int links)
{
    QString absolute = QDir::fromNativeSeparators(path);
    if (QDir::isRelativePath(absolute))
        absolute = QDir::current().filePath(absolute);
    while (absolute.size() > 1 && absolute.endsWith(QLatin1Char('/')))
        absolute.chop(1);
    const QFileInfo info(absolute);
    if (info.exists())
        return info.canonicalFilePath();
    if (info.isSymLink() && links < MostLinks)
        return resolved(info.symLinkTarget(), links + 1);
    // Not there yet: the folder it would go in, resolved, then the name. The
    // system resolves ".." after a link physically, so the folder goes back to
    // QFileInfo rather than being cleaned as text.
    const int slash = static_cast<int>(absolute.lastIndexOf(QLatin1Char('/')));
    const QString name = absolute.mid(slash + 1);
    if (slash < 0 || name == QLatin1String(".") || name == QLatin1String(".."))
        return QDir::cleanPath(absolute);
    const QString folder = slash == 0 ? QStringLiteral("/") : absolute.left(slash);
    return QDir::cleanPath(QDir(resolved(folder, links)).filePath(name));
}

} // namespace

QString of(const QString &path)
{
    if (path.isEmpty())
        return {};
    return resolved(path, 0);
}

bool sameFile(const QString &a, const QString &b)
{
    const QString first = of(a);
    return !first.isEmpty() && first == of(b);
}

} // namespace kalent::ResolvedPath
