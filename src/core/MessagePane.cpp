#include "MessagePane.h"

#include <algorithm>

namespace kalent {

void MessagePane::setText(const QString &text)
{
    m_text = text;
    Q_EMIT textChanged(m_text);
}

void MessagePane::setProgress(int percent)
{
    const int clamped = std::clamp(percent, 0, 100);
    if (clamped == m_progress)
        return;
    m_progress = clamped;
    Q_EMIT progressChanged(m_progress);
}

} // namespace kalent
