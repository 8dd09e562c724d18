#include "database/WriteVerification.h"

#include "database/DatabaseImage.h"

namespace kalent::WriteVerification {

Verdict judge(const QByteArray &sent, int sentPages, const QByteArray &readBack)
{
    Verdict verdict;
    if (readBack.isEmpty()) {
        verdict.paneText = QStringLiteral("Запись БД ТС не проверена: БД ТС не считана из "
                                          "прибора обратно.");
        verdict.journalResult = QStringLiteral("не проверена: БД ТС не считана обратно");
        return verdict;
    }
    const int held =
        static_cast<int>((readBack.size() - DatabaseImage::HeaderSize) / DatabaseImage::PageSize);
    verdict.firstDifferentPage = DatabaseImage::firstDifferentPage(sent, readBack);
    if (verdict.firstDifferentPage == 0) {
        verdict.outcome = JobOutcome::Done;
        verdict.paneText = QStringLiteral("БД ТС записана в прибор и проверена: все страницы "
                                          "в приборе (%1) совпадают с записанными.")
                               .arg(sentPages);
        verdict.journalResult = QStringLiteral("проверена: считанная обратно БД ТС совпадает "
                                               "с записанной");
        return verdict;
    }
    const QString difference =
        QStringLiteral("считанная обратно БД ТС отличается от записанной, начиная со страницы "
                       "%1 (записано страниц: %2, в приборе: %3)")
            .arg(verdict.firstDifferentPage)
            .arg(sentPages)
            .arg(held);
    verdict.paneText = QStringLiteral("Запись БД ТС в прибор не удалась: %1.").arg(difference);
    verdict.journalResult = QStringLiteral("ошибка проверки: ") + difference;
    return verdict;
}

} // namespace kalent::WriteVerification
