#include <QTest>
class Tstrecords : public QObject { Q_OBJECT };
QTEST_APPLESS_MAIN(Tstrecords)
#include "tst_records.moc"
