#include "link/JobHandle.h"

namespace kalent {

void JobHandle::finish(const JobResult &result)
{
    if (m_finished)
        return;
    m_finished = true;
    m_result = result;
    Q_EMIT finished(result);
    deleteLater();
}

} // namespace kalent
