// The style's title bar and toolbar icons are made when first drawn: the planner's start, up to its first
// paint, loads no image plugin, and every icon looks exactly as the style's own.

#include "DeferredStyleIcons.h"
#include "ManualClock.h"
#include "Moments.h"
#include "TolvaApp.h"

#include <QApplication>
#include <QFile>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTest>

class TestDeferredStyleIcons : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startUpLoadsNoImagePlugin();
    void iconsAreTheStylesOwn_data();
    void iconsAreTheStylesOwn();

private:
    QStyle* m_base = nullptr;
};

void TestDeferredStyleIcons::initTestCase()
{
    m_base = QStyleFactory::create(QStringLiteral("Fusion"));
}

void TestDeferredStyleIcons::startUpLoadsNoImagePlugin()
{
    QTemporaryDir work;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work.filePath(QStringLiteral("config"))));
    ManualClock clock(TestSupport::moment(2026, 12, 9, 9, 0, 0));
    CTolvaApp app(clock);
    app.setMessageSink([](const QString& m) { QFAIL(qPrintable(m)); });
    QCOMPARE(app.InitInstance({}, work.path()), CTolvaApp::Outcome::Started);
    QVERIFY(QTest::qWaitForWindowExposed(app.mainFrame()));
    QVERIFY(qobject_cast<DeferredStyleIcons*>(QApplication::style()));
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QVERIFY2(!maps.readAll().contains("/imageformats/"), "an image plugin was loaded");
    app.ExitInstance();
}

void TestDeferredStyleIcons::iconsAreTheStylesOwn_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<Qt::LayoutDirection>("direction");
    for (const QStyle::StandardPixmap icon :
         {QStyle::SP_TitleBarMenuButton, QStyle::SP_TitleBarMinButton, QStyle::SP_TitleBarMaxButton,
          QStyle::SP_TitleBarCloseButton, QStyle::SP_TitleBarNormalButton, QStyle::SP_TitleBarShadeButton,
          QStyle::SP_TitleBarUnshadeButton, QStyle::SP_TitleBarContextHelpButton,
          QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
        QTest::addRow("%d left to right", int(icon)) << int(icon) << Qt::LeftToRight;
        QTest::addRow("%d right to left", int(icon)) << int(icon) << Qt::RightToLeft;
    }
    QTest::newRow("not deferred: a message box's") << int(QStyle::SP_MessageBoxWarning) << Qt::LeftToRight;
}

void TestDeferredStyleIcons::iconsAreTheStylesOwn()
{
    QFETCH(int, icon);
    QFETCH(Qt::LayoutDirection, direction);
    const auto sp = QStyle::StandardPixmap(icon);
    QStyleOption option;
    option.direction = direction;
    const QIcon deferred = QApplication::style()->standardIcon(sp, &option);
    const QIcon own = m_base->standardIcon(sp, &option);
    QCOMPARE(deferred.isNull(), own.isNull());
    for (const int size : {16, 32}) {
        for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled}) {
            QCOMPARE(deferred.actualSize(QSize(size, size), mode), own.actualSize(QSize(size, size), mode));
            QCOMPARE(deferred.pixmap(size, mode).toImage(), own.pixmap(size, mode).toImage());
            QCOMPARE(deferred.pixmap(QSize(size, size), 2.0, mode).toImage(),
                     own.pixmap(QSize(size, size), 2.0, mode).toImage());
        }
    }
}

QTEST_MAIN(TestDeferredStyleIcons)
#include "tst_deferredstyleicons.moc"
