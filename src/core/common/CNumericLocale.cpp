#include "common/CNumericLocale.h"

#if defined(_WIN32)
#include <clocale>
#include <locale.h>
#endif

namespace kalent {

#if defined(_WIN32)

CNumericLocale::CNumericLocale()
{
    // The C runtime of Windows has no uselocale(): a thread's own locale is
    // switched on first, so setlocale() below touches this thread only.
    m_previousMode = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
    if (const char *numeric = std::setlocale(LC_NUMERIC, nullptr))
        m_previousNumeric = numeric;
    m_active = std::setlocale(LC_NUMERIC, "C") != nullptr;
}

CNumericLocale::~CNumericLocale()
{
    if (!m_previousNumeric.isEmpty())
        std::setlocale(LC_NUMERIC, m_previousNumeric.constData());
    _configthreadlocale(m_previousMode);
}

#else

CNumericLocale::CNumericLocale()
{
    // A copy of the thread's current locale with only LC_NUMERIC replaced:
    // texts, collation and messages stay the user's.
    const locale_t current = duplocale(uselocale(locale_t(0)));
    if (current == locale_t(0))
        return;
    m_cNumeric = newlocale(LC_NUMERIC_MASK, "C", current);
    if (m_cNumeric == locale_t(0)) {
        freelocale(current);
        return;
    }
    m_previous = uselocale(m_cNumeric);
    m_active = m_previous != locale_t(0);
}

CNumericLocale::~CNumericLocale()
{
    if (m_active)
        uselocale(m_previous);
    if (m_cNumeric != locale_t(0))
        freelocale(m_cNumeric);
}

#endif

} // namespace kalent
