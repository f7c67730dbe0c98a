#include <QTest>
class Tstcalendar : public QObject { Q_OBJECT };
QTEST_APPLESS_MAIN(Tstcalendar)
#include "tst_calendar.moc"
