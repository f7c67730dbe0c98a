// The Day dialog on small screens: on an 800x600 screen, with room left for a title bar, OK and Cancel are
// in view at scale factor 1 and 2 (where 800x600 pixels are 400x300 logical ones), and every control can
// still be reached. CTest runs this program a second time with QT_SCALE_FACTOR=2.

#include "DayDialogDriver.h"

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>

using namespace DayDialogDriver;

namespace {

enum class Fit { Designed, ShorterText, Scrolls };

// OK and Cancel lie wholly inside the dialog, and the dialog with its window frame inside `available`.
void verifyButtonsInView(CDia_Day& dialog, QSize available)
{
    const QSize outer = dialog.size() + CDia_Day::kWindowFrame;
    QVERIFY2(outer.width() <= available.width() && outer.height() <= available.height(),
             qPrintable(QStringLiteral("%1x%2 in %3x%4")
                            .arg(outer.width())
                            .arg(outer.height())
                            .arg(available.width())
                            .arg(available.height())));
    for (const char* name : {"okButton", "cancelButton"}) {
        const auto* button = dialog.findChild<QPushButton*>(QLatin1String(name));
        QVERIFY(button->isVisible());
        const QRect inDialog(button->mapTo(&dialog, QPoint(0, 0)), button->size());
        QVERIFY2(dialog.rect().contains(inDialog), name);
    }
}

// Everything the scroll area holds can be scrolled into view.
void verifyContentReachable(CDia_Day& dialog)
{
    const auto* scroll = dialog.findChild<QScrollArea*>(QStringLiteral("contentScroll"));
    const QSize content = scroll->widget()->minimumSizeHint();
    const QSize seen = scroll->viewport()->size();
    QVERIFY(scroll->horizontalScrollBar()->maximum() + seen.width() >= content.width());
    QVERIFY(scroll->verticalScrollBar()->maximum() + seen.height() >= content.height());
}

} // namespace

class TestDayDialogScreen : public QObject
{
    Q_OBJECT

private slots:
    void fitsTheScreenItOpensOn()
    {
        // The offscreen platform's screen is 800x600 pixels.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize available = screen->availableGeometry().size();
        QCOMPARE(available * screen->devicePixelRatio(), QSize(800, 600));
        YearData year = yearOn(moment(2012, 5, 13));
        CDia_Day dialog(year);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        verifyButtonsInView(dialog, available);
        verifyContentReachable(dialog);
    }

    void fitInto_data()
    {
        QTest::addColumn<QSize>("available");
        QTest::addColumn<int>("fit");
        QTest::newRow("desktop") << QSize(1920, 1040) << int(Fit::Designed);
        QTest::newRow("800x600 less a panel") << QSize(800, 570) << int(Fit::ShorterText);
        QTest::newRow("800x600 at scale 2") << QSize(400, 300) << int(Fit::Scrolls);
        QTest::newRow("narrow and tall") << QSize(500, 1000) << int(Fit::Scrolls);
    }

    // The designed layout where there is room; a shorter text area before anything scrolls.
    void fitInto()
    {
        QFETCH(QSize, available);
        QFETCH(int, fit);
        YearData year = yearOn(moment(2012, 5, 13));
        CDia_Day dialog(year);
        dialog.fitInto(QSize(4000, 3000));
        const int designedText = dialog.findChild<QStackedWidget*>(QStringLiteral("textPages"))->height();
        dialog.fitInto(available);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        verifyButtonsInView(dialog, available);
        verifyContentReachable(dialog);

        const auto* scroll = dialog.findChild<QScrollArea*>(QStringLiteral("contentScroll"));
        const int text = dialog.findChild<QStackedWidget*>(QStringLiteral("textPages"))->height();
        const bool scrolls =
            scroll->horizontalScrollBar()->isVisible() || scroll->verticalScrollBar()->isVisible();
        QCOMPARE(scrolls, fit == int(Fit::Scrolls));
        if (fit == int(Fit::Designed))
            QCOMPARE(text, designedText);
        if (fit == int(Fit::ShorterText)) {
            QVERIFY(text < designedText);
            const auto* memo = dialog.findChild<QPlainTextEdit*>(QStringLiteral("memoEdit"));
            QVERIFY(text >= memo->fontMetrics().lineSpacing() * 4);
        }
    }
};

QTEST_MAIN(TestDayDialogScreen)
#include "tst_dia_day_screen.moc"
