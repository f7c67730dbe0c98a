#include "YearWindow.h"

#include "Calendar.h"
#include "Dia_Day.h"
#include "InvalidArgument.h"
#include "YearPainter.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>

YearWindow::YearWindow(DataStore& store, const DisplaySettings& defaults, QWidget* parent)
    : QWidget(parent), m_store(store)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);

    const SYSTEMTIME today = Calendar::nowLocal();
    m_year.m_settings.m_stSelected = Calendar::makeDate(today.wYear, today.wMonth, today.wDay);
    report(m_store.LoadSaveYear(true, m_year, defaults));
    report(m_store.LoadSaveForeverRedDays(true, m_year, m_everyYear));
    auto& s = m_year.m_settings;
    s.m_bShowDayNumbers = s.m_bShowSundays = s.m_bShowMemoAlarm = s.m_bShowProjectLines = s.m_bShowRedDays =
        1;
    m_resources = std::make_unique<PaintResources>(s);
}

void YearWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setBackground(Qt::white); // the surface's initial text background, as on a fresh window
    try {
        g_pYearPainter->PaintYear(painter, size(), m_year, *m_resources);
    } catch (const InvalidArgument&) {
        // A damaged list ends this paint only; what was drawn stays.
    }
}

void YearWindow::mouseMoveEvent(QMouseEvent* event)
{
    try {
        if (const auto text = g_pYearPainter->StatusText(size(), m_year, event->position().toPoint()))
            emit statusText(*text);
    } catch (const InvalidArgument&) {
        emit statusText(QString());
    }
}

void YearWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const DayHit hit = g_pYearPainter->HitTestDay(size(), m_year.m_settings, event->position().toPoint());
    if (hit.stDate.wMonth < 1 || hit.stDate.wMonth > 12 || hit.stDate.wDay < 1 || hit.stDate.wDay > 31)
        return;
    m_year.m_settings.m_stSelected.wMonth = hit.stDate.wMonth;
    m_year.m_settings.m_stSelected.wDay = hit.stDate.wDay;
    update();
}

void YearWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        editSelectedDay();
}

void YearWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        editSelectedDay();
    else
        QWidget::keyPressEvent(event);
}

void YearWindow::editSelectedDay()
{
    if (!CDia_Day::isEditableDay(m_year.m_settings.m_stSelected))
        return;
    CDia_Day dialog(m_year, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    update();
    save();
}

void YearWindow::save()
{
    report(m_store.LoadSaveYear(false, m_year, m_year.m_settings));
    report(m_store.LoadSaveForeverRedDays(false, m_year, m_everyYear));
}

void YearWindow::report(const StoreResult& result)
{
    if (!result.ok())
        QMessageBox::warning(this, tr("Tolva"), result.message);
}
