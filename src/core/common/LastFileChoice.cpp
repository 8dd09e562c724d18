#include "common/LastFileChoice.h"

#include <algorithm>

namespace kalent {

void LastFileChoice::remember(const QString &path)
{
    const int cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    if (cut <= 0) {
        m_dir.clear();
        m_name = path;
        return;
    }
    m_dir = path.left(cut + 1);
    m_name = path.mid(cut + 1);
}

} // namespace kalent
