#pragma once

#include <QByteArray>

#if !defined(_WIN32)
#include <clocale>
#include <locale.h>
#endif

namespace kalent {

// While alive, the calling thread formats and reads numbers the C way ("1.048"),
// whatever LC_NUMERIC the user runs under (ru_RU.UTF-8 writes "1,048"). A C
// library that prints numbers with printf into a file format that knows only the
// decimal point (the workbook library's XML) needs it around every call. Only
// this thread changes; the rest of the program keeps the user's locale.
class CNumericLocale
{
public:
    CNumericLocale();
    ~CNumericLocale();
    CNumericLocale(const CNumericLocale &) = delete;
    CNumericLocale &operator=(const CNumericLocale &) = delete;

    // False when the system could not make the change (out of memory): numbers
    // may then come out in the user's locale, so the caller should not go on.
    bool active() const { return m_active; }

private:
    bool m_active = false;
#if defined(_WIN32)
    int m_previousMode = 0;
    QByteArray m_previousNumeric;
#else
    locale_t m_cNumeric = locale_t(0);
    locale_t m_previous = locale_t(0);
#endif
};

} // namespace kalent
