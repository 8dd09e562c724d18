#include <QtTest>
class tst_Placeholder : public QObject { Q_OBJECT private Q_SLOTS: void builds() { QVERIFY(true); } };
QTEST_GUILESS_MAIN(tst_Placeholder)
#include "tst_Placeholder.moc"
