#pragma once

#include "ObjectNames.h"

#include <QObject>
#include <QString>
#include <QtGlobal>

namespace kalent::test {

// The child of parent with the object name name, as T. Tests find widgets by
// the names the window gives them (ObjectNames.h); one that is missing is named
// in the log, and the test then fails on the null it gets.
template <typename T> T *child(const QObject &parent, const QString &name)
{
    T *found = parent.findChild<T *>(name);
    if (!found)
        qWarning("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return found;
}

template <typename T> T *child(const QObject &parent, const char *name)
{
    return child<T>(parent, QString::fromLatin1(name));
}

template <typename T> T *child(const QObject &parent, QLatin1String name)
{
    return child<T>(parent, QString(name));
}

} // namespace kalent::test
