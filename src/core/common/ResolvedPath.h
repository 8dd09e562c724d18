#pragma once

#include <QString>

namespace kalent::ResolvedPath {

// The file a write under this name would replace, as an absolute path: ".",
// "..", symbolic links among the folders and a link in the name's own place
// (dangling too: a write creates its target) are followed, whether or not the
// file exists yet. Two outputs of one run that resolve alike would have the
// second write replace the first. Empty for an empty name.
QString of(const QString &path);

// Whether two names reach the same file.
bool sameFile(const QString &a, const QString &b);

} // namespace kalent::ResolvedPath
