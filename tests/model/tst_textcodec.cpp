#include <QTest>
class Tsttextcodec : public QObject { Q_OBJECT };
QTEST_APPLESS_MAIN(Tsttextcodec)
#include "tst_textcodec.moc"
