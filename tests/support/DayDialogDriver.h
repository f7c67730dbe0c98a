#pragma once

// Drives the real Day dialog through its widgets, found by object name, with QTest input events.

#include "Calendar.h"
#include "Dia_Day.h"
#include "Moments.h"
#include "TextCodec.h"
#include "YearData.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include <functional>

Q_DECLARE_METATYPE(SYSTEMTIME)

namespace DayDialogDriver {

using TestSupport::moment;

// A shown year with every per-day list at full size and the given day selected.
inline YearData yearOn(const SYSTEMTIME& selected)
{
    YearData year;
    year.reset();
    year.m_settings.m_stSelected = selected;
    return year;
}

inline int dayIndex(const SYSTEMTIME& st)
{
    return Calendar::dayOfYear(st.wYear, st.wMonth, st.wDay);
}

inline void addProject(YearData& year, const QByteArray& name, const SYSTEMTIME& start, const SYSTEMTIME& end,
                       COLORREF color = 0x00102030, bool longLine = true)
{
    ProjectRecord p{};
    p.m_bLongLine = longLine ? 1 : 0;
    p.m_stStart = start;
    p.m_stEnd = end;
    p.m_crColor = color;
    year.m_projects.append(p);
    year.m_names.append(name);
}

template <typename T> T* child(const QWidget* dialog, const char* name)
{
    T* widget = dialog->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("the Day dialog has no %s", name);
    return widget;
}

// The controls the tests read and drive.
struct Controls
{
    explicit Controls(const QWidget* d)
        : list(child<QListWidget>(d, "projectList")), nameEdit(child<QLineEdit>(d, "nameEdit")),
          checkedBox(child<QCheckBox>(d, "checkedBox")), longLineBox(child<QCheckBox>(d, "longLineBox")),
          everyYearBox(child<QCheckBox>(d, "everyYearBox")), startPicker(child<QDateEdit>(d, "startPicker")),
          endPicker(child<QDateEdit>(d, "endPicker")),
          alarmDatePicker(child<QDateEdit>(d, "alarmDatePicker")),
          alarmTimePicker(child<QTimeEdit>(d, "alarmTimePicker")),
          memoEdit(child<QPlainTextEdit>(d, "memoEdit")), redDayEdit(child<QPlainTextEdit>(d, "redDayEdit")),
          alarmEdit(child<QPlainTextEdit>(d, "alarmEdit"))
    {
    }
    QListWidget* list;
    QLineEdit* nameEdit;
    QCheckBox* checkedBox;
    QCheckBox* longLineBox;
    QCheckBox* everyYearBox;
    QDateEdit* startPicker;
    QDateEdit* endPicker;
    QDateEdit* alarmDatePicker;
    QTimeEdit* alarmTimePicker;
    QPlainTextEdit* memoEdit;
    QPlainTextEdit* redDayEdit;
    QPlainTextEdit* alarmEdit;
};

inline QAbstractButton* button(const QWidget* d, const char* name)
{
    return child<QAbstractButton>(d, name);
}

// Clicks where a check box or radio button has its indicator, so that a wide layout cell cannot miss it.
inline void click(QAbstractButton* b)
{
    const bool indicator = qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b);
    QTest::mouseClick(b, Qt::LeftButton, {},
                      indicator ? QPoint(b->height() / 2, b->height() / 2) : b->rect().center());
}
inline void click(const QWidget* d, const char* name)
{
    click(button(d, name));
}

inline QPoint rowCenter(QListWidget* l, int row)
{
    l->scrollToItem(l->item(row));
    return l->visualItemRect(l->item(row)).center();
}

inline void selectRow(const QWidget* d, int row)
{
    QListWidget* l = child<QListWidget>(d, "projectList");
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, rowCenter(l, row));
}

// A real double click: press, release, double-click, release.
inline void doubleClickRow(const QWidget* d, int row)
{
    QListWidget* l = child<QListWidget>(d, "projectList");
    const QPoint at = rowCenter(l, row);
    QTest::mousePress(l->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(l->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(l->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(l->viewport(), Qt::LeftButton, {}, at);
}

// Types text key by key; QTest::keyClicks takes ASCII only.
inline void typeText(QWidget* edit, const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(edit, char(c.unicode()));
        } else {
            QTest::sendKeyEvent(QTest::Press, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
}

inline void replaceText(QWidget* edit, const QString& text)
{
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        typeText(edit, text);
}

// Steps one section of a picker with the arrow keys, as a user would.
inline void stepSection(QDateTimeEdit* picker, QDateTimeEdit::Section section, int steps)
{
    picker->setCurrentSection(section);
    for (int i = 0; i < std::abs(steps); ++i)
        QTest::keyClick(picker, steps > 0 ? Qt::Key_Up : Qt::Key_Down);
}

inline int selectedRow(const QWidget* d)
{
    const QListWidget* l = child<QListWidget>(d, "projectList");
    const auto items = l->selectedItems();
    return items.isEmpty() ? -1 : l->row(items.first());
}

inline QColor swatchColor(const QWidget* d)
{
    const QWidget* swatch = child<QWidget>(d, "colorSwatch");
    const QImage image = const_cast<QWidget*>(swatch)->grab().toImage();
    return image.pixelColor(image.rect().center());
}

inline QColor fromColorRef(COLORREF c)
{
    return QColor(colorRefRed(c), colorRefGreen(c), colorRefBlue(c));
}

// Runs `act` on the modal widget of type T once it is up (polling, since it opens inside a click).
template <typename T> void whenModal(std::function<void(T*)> act, int triesLeft = 200)
{
    QTimer::singleShot(10, [act, triesLeft] {
        if (T* modal = qobject_cast<T*>(QApplication::activeModalWidget()))
            act(modal);
        else if (triesLeft > 0)
            whenModal<T>(act, triesLeft - 1);
    });
}

// Runs the dialog modally with `act` performed inside its loop; a stuck dialog is rejected after 10 s.
inline int runModal(CDia_Day& dialog, std::function<void()> act)
{
    QTimer::singleShot(0, &dialog, act);
    QTimer::singleShot(10000, &dialog, &QDialog::reject);
    return dialog.exec();
}

inline void showDialog(QWidget& dialog)
{
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog))
        qFatal("the Day dialog was not exposed");
}

} // namespace DayDialogDriver
