#include "TolvaView.h"

#include "Calendar.h"
#include "Clock.h"
#include "DayEditCommand.h"
#include "Dia_Day.h"
#include "InvalidArgument.h"
#include "PaintResources.h"
#include "YearDocument.h"
#include "YearGrid.h"
#include "YearGridAccessible.h"
#include "YearPainter.h"
#include "YearRegistry.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace {

constexpr int kAlarmPeriodMs = 1000;

// A bad index in a damaged year ends the handler it happens in, never the program.
template <typename F> void guarded(F&& body)
{
    try {
        body();
    } catch (const InvalidArgument&) {
    }
}

} // namespace

CTolvaView::CTolvaView(YearRegistry& registry, const Clock& clock, QWidget* parent)
    : QWidget(parent), m_registry(registry), m_clock(clock)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    YearGridAccessible::install();
    m_alarmTimer.setInterval(kAlarmPeriodMs);
    connect(&m_alarmTimer, &QTimer::timeout, this, &CTolvaView::checkAlarms);
}

CTolvaView::~CTolvaView()
{
    m_alarmTimer.stop();
    // Before the year is saved: the dialog's input goes with it. Its exec() sees it deleted and returns.
    finishDayDialog();
    delete m_dayDialog.data();
    // The boxes are child widgets and would otherwise go after the list that tracks them.
    for (const QPointer<QMessageBox>& box : std::exchange(m_alarmBoxes, {}))
        delete box.data();
    if (m_document) {
        saveShownYear();
        // Dropping the last reference saves the year once more only if something changed since.
        m_document.reset();
    }
}

void CTolvaView::OnInitialUpdate()
{
    ShowYear(m_clock.nowLocal().wYear);
    repaintAll();
}

int CTolvaView::shownYear() const
{
    return m_settings.m_stSelected.wYear;
}

void CTolvaView::ShowYear(int year)
{
    m_alarmTimer.stop();
    const SYSTEMTIME now = m_clock.nowLocal();

    if (m_document)
        disconnect(m_document.get(), nullptr, this, nullptr);
    std::shared_ptr<YearDocument> previous = std::move(m_document);
    m_document = m_registry.open(year);
    previous.reset(); // after the new year is open, so that a year shown again is not read twice
    connect(m_document.get(), &YearDocument::changed, this, &CTolvaView::repaintAll);

    m_settings = m_document->data().m_settings;
    // Today's month and day in the shown year; 29 February becomes 28 February in a common year.
    const int month = std::clamp<int>(now.wMonth, 1, 12);
    const int day = std::clamp<int>(now.wDay, 1, Calendar::daysInMonth(year, month));
    m_settings.m_stSelected = Calendar::makeDate(year, month, day);

    // Pen and fonts come from the first year this view shows, and stay.
    if (!m_resources) {
        m_resourceSettings = std::make_unique<DisplaySettings>(m_settings);
        m_resources = std::make_unique<PaintResources>(m_settings);
    }
    forceTogglesOn();
    m_document->setViewSettings(m_settings);
    m_alarmTimer.start();
    emit stateChanged();
}

void CTolvaView::remakePaintResources()
{
    if (!m_resourceSettings)
        return;
    m_resources = std::make_unique<PaintResources>(*m_resourceSettings);
    update();
}

void CTolvaView::forceTogglesOn()
{
    for (Toggle t :
         {Toggle::DayNumbers, Toggle::Sundays, Toggle::ProjectLines, Toggle::MemoAlarm, Toggle::RedDays})
        toggleByte(t) = 1;
}

std::uint8_t& CTolvaView::toggleByte(Toggle toggle)
{
    switch (toggle) {
    case Toggle::DayNumbers:
        return m_settings.m_bShowDayNumbers;
    case Toggle::Sundays:
        return m_settings.m_bShowSundays;
    case Toggle::ProjectLines:
        return m_settings.m_bShowProjectLines;
    case Toggle::MemoAlarm:
        return m_settings.m_bShowMemoAlarm;
    case Toggle::RedDays:
        break;
    }
    return m_settings.m_bShowRedDays;
}

bool CTolvaView::isToggleOn(Toggle toggle) const
{
    return const_cast<CTolvaView*>(this)->toggleByte(toggle) != 0;
}

void CTolvaView::flipToggle(CTolvaView::Toggle toggle)
{
    std::uint8_t& byte = toggleByte(toggle);
    byte = byte == 0 ? 1 : 0;
    if (m_document) {
        m_document->setViewSettings(m_settings);
        m_document->noteViewChange();
    }
    repaintAll();
    emit stateChanged();
}

void CTolvaView::repaintAll()
{
    update();
}

void CTolvaView::saveShownYear()
{
    if (!m_document)
        return;
    m_document->setViewSettings(m_settings);
    m_registry.save(*m_document);
}

void CTolvaView::stepYear(int delta)
{
    const int target = shownYear() + delta;
    // The calendar ends at 1 and 9999: a step past either end does nothing.
    if (!m_document || target < Calendar::kFirstYear || target > Calendar::kLastYear)
        return;
    saveShownYear();
    ShowYear(target);
    repaintAll();
}

void CTolvaView::OnYearPlus()
{
    stepYear(+1);
}

void CTolvaView::OnYearMinus()
{
    stepYear(-1);
}

void CTolvaView::OnToday()
{
    const SYSTEMTIME now = m_clock.nowLocal();
    if (!Calendar::isValidDateTime(now))
        return;
    if (now.wYear != shownYear()) {
        saveShownYear();
        ShowYear(now.wYear);
    }
    m_settings.m_stSelected = now;
    m_settings.m_stSelected.wMilliseconds = 0;
    m_document->setViewSettings(m_settings);
    repaintAll();
    emit stateChanged();
}

void CTolvaView::showDate(int year, int month, int day)
{
    if (!m_document || year < Calendar::kFirstYear || year > Calendar::kLastYear)
        return;
    if (year != shownYear()) {
        saveShownYear();
        ShowYear(year);
    }
    month = std::clamp(month, 1, 12);
    selectDay(month, std::clamp(day, 1, Calendar::daysInMonth(year, month)));
    repaintAll();
    notifySelection();
}

void CTolvaView::selectDay(int month, int day)
{
    m_settings.m_stSelected = SYSTEMTIME{};
    m_settings.m_stSelected.wYear = std::uint16_t(m_document->year());
    m_settings.m_stSelected.wMonth = std::uint16_t(std::clamp(month, 1, 12));
    m_settings.m_stSelected.wDay = std::uint16_t(std::clamp(day, 1, 31));
    const int dow = Calendar::dayOfWeek(m_settings.m_stSelected.wYear, m_settings.m_stSelected.wMonth,
                                        m_settings.m_stSelected.wDay);
    m_settings.m_stSelected.wDayOfWeek = std::uint16_t(std::max(dow, 0));
    m_document->setViewSettings(m_settings);
    emit stateChanged();
}

void CTolvaView::paintYear(QPainter& painter, QSize extent) const
{
    if (!m_document || !m_resources)
        return;
    painter.setBackground(Qt::white); // the surface's initial text background, as on a fresh window
    try {
        g_pYearPainter->PaintYear(painter, extent, m_settings, m_document->data(), *m_resources);
    } catch (const InvalidArgument&) {
        // A damaged list ends this paint only; the cells painted before it stand.
    }
}

void CTolvaView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    paintYear(painter, size());
    if (m_document)
        emit titleChanged(QString::number(shownYear()));
}

void CTolvaView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_document)
        return;
    try {
        if (const auto text = g_pYearPainter->StatusText(size(), m_settings, m_document->data(),
                                                         event->position().toPoint()))
            emit statusTextChanged(*text);
    } catch (const InvalidArgument&) {
        emit statusTextChanged(QString());
    }
}

bool CTolvaView::cellAt(QPoint pos, int& month, int& day) const
{
    // Clicks beside or below the twelve by 31 cells are ignored: the grid's outline and margins select
    // nothing.
    const YearGrid grid(size(), m_settings);
    if (pos.x() < grid.left() || pos.x() >= grid.right() || pos.y() < grid.top() || pos.y() >= grid.bottom())
        return false;
    const DayHit hit = g_pYearPainter->HitTestDay(size(), m_settings, pos);
    if (hit.stDate.wMonth < 1 || hit.stDate.wMonth > 12 || hit.stDate.wDay < 1 || hit.stDate.wDay > 31)
        return false;
    month = hit.stDate.wMonth;
    day = hit.stDate.wDay;
    return true;
}

void CTolvaView::mousePressEvent(QMouseEvent* event)
{
    if (!m_document)
        return;
    if (event->button() == Qt::RightButton) {
        OnToday();
        return;
    }
    if (event->button() == Qt::LeftButton && selectCellAt(event->position().toPoint()))
        notifySelection();
}

void CTolvaView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click acts on the day under the pointer, never on one selected before.
    if (m_document && event->button() == Qt::LeftButton && selectCellAt(event->position().toPoint()))
        editSelectedDay();
}

bool CTolvaView::selectCellAt(QPoint pos)
{
    int month = 0;
    int day = 0;
    if (!cellAt(pos, month, day))
        return false;
    selectDay(month, day);
    repaintAll();
    return true;
}

void CTolvaView::keyPressEvent(QKeyEvent* event)
{
    if (!m_document) {
        QWidget::keyPressEvent(event);
        return;
    }
    SYSTEMTIME& s = m_settings.m_stSelected;
    bool handled = true;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        editSelectedDay();
        break;
    case Qt::Key_PageUp:
        OnYearPlus();
        break;
    case Qt::Key_PageDown:
        OnYearMinus();
        break;
    case Qt::Key_End:
        selectDay(12, s.wDay);
        break;
    case Qt::Key_Home:
        OnToday();
        break;
    case Qt::Key_Left:
        selectDay(std::max(1, s.wMonth - 1), s.wDay);
        break;
    case Qt::Key_Up:
        selectDay(s.wMonth, std::max(1, s.wDay - 1));
        break;
    case Qt::Key_Right:
        selectDay(std::min(12, s.wMonth + 1), s.wDay);
        break;
    case Qt::Key_Down:
        selectDay(s.wMonth, std::min(31, s.wDay + 1));
        break;
    default:
        handled = false;
        break;
    }
    // Every key repaints, handled or not.
    repaintAll();
    if (handled) {
        notifySelection();
        event->accept();
    } else {
        QWidget::keyPressEvent(event);
    }
}

// The base class repaints on every focus change; the year shows no focus, and a dialog opening or closing
// over the view must not repaint it.
void CTolvaView::focusInEvent(QFocusEvent*)
{
    notifySelection();
}

void CTolvaView::focusOutEvent(QFocusEvent*) {}

void CTolvaView::notifySelection()
{
    if (!QAccessible::isActive() || !m_document)
        return;
    const SYSTEMTIME& s = m_settings.m_stSelected;
    QAccessibleEvent focus(this, QAccessible::Focus);
    focus.setChild(YearGridAccessible::childIndex(s.wMonth, s.wDay));
    QAccessible::updateAccessibility(&focus);
}

bool CTolvaView::editSelectedDay()
{
    if (!m_document)
        return false;
    const SYSTEMTIME selected = m_settings.m_stSelected;
    if (!CDia_Day::isEditableDay(selected))
        return false;
    const int dayIndex = Calendar::dayOfYear(selected.wYear, selected.wMonth, selected.wDay);
    if (!m_document->holdsDay(dayIndex)) {
        const StoreResult& load = m_document->loadResult();
        QString text = tr("%1 cannot be edited: the file of %2 is damaged and holds no entry for this day. "
                          "Repair or remove the year file to edit it.")
                           .arg(Calendar::format(selected, "%A, %B %d, %Y"))
                           .arg(m_document->year());
        if (!load.keptAs.isEmpty())
            text += QLatin1Char(' ') + tr("A copy of the damaged file was kept as %1.").arg(load.keptAs);
        QMessageBox::warning(this, tr("Tolva"), text);
        return false;
    }
    // The document is held for the dialog's whole life, whatever happens to the view's year meanwhile.
    const std::shared_ptr<YearDocument> document = m_document;
    // On the heap: a command run inside its modal loop (an accessibility client's File > Close, say) may
    // destroy this view, and with it the dialog. OK goes through the year's undo history.
    const QPointer<CTolvaView> self(this);
    YearDocument& year = *document;
    m_dayDialog = new CDia_Day(
        year.data(), selected, [&year](const DayEdit& edit) { DayEditCommand::commit(year, edit); }, this);
    const bool accepted = m_dayDialog->exec() == QDialog::Accepted;
    if (!self)
        return accepted;
    delete m_dayDialog.data();
    if (!accepted)
        return false;
    // The edit reaches the disk now, not only when the year is left.
    m_registry.save(*document);
    repaintAll();
    return true;
}

CDia_Day* CTolvaView::openDayDialog() const
{
    return m_dayDialog && m_dayDialog->isVisible() ? m_dayDialog.data() : nullptr;
}

void CTolvaView::finishDayDialog()
{
    if (CDia_Day* dialog = openDayDialog())
        dialog->accept();
}

void CTolvaView::checkAlarms()
{
    if (!m_document)
        return;
    QString text;
    guarded([&] { text = g_pYearPainter->CheckAlarms(*m_document, m_clock); });
    if (text.isEmpty())
        return;
    // Fired is on disk before the box shows: a crash or a restart never reports it again.
    m_registry.save(*m_document);
    // Not exec(): the timer must go on ticking while the box is open, so that a further due alarm opens
    // its own box a second later.
    auto* box = new QMessageBox(QMessageBox::Information, tr("Alarm Message"), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    m_alarmBoxes.append(box);
    connect(box, &QObject::destroyed, this, [this] { m_alarmBoxes.removeAll(nullptr); });
    box->open();
    emit alarmShown(text);
}

QList<QMessageBox*> CTolvaView::openAlarmBoxes() const
{
    QList<QMessageBox*> boxes;
    for (const QPointer<QMessageBox>& box : m_alarmBoxes)
        if (box && box->isVisible())
            boxes.append(box);
    return boxes;
}
