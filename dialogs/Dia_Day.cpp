#include "Dia_Day.h"

#include "Calendar.h"
#include "DayEdit.h"
#include "InvalidArgument.h"
#include "ProjectList.h"
#include "QtConversion.h"
#include "TextCodec.h"
#include "YearData.h"
#include "YearDocument.h"

#include "ui_DayDialog.h"

#include <QColorDialog>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <iterator>

namespace {

constexpr int kMaxProjects = DayMarkRecord::kMaxProjects;

// A bad index ends the handler it happens in, never the program; nothing may leave a slot as an exception.
template <typename F> void guarded(F&& body)
{
    try {
        body();
    } catch (const InvalidArgument&) {
    }
}

// Pickers carry what an automation date can: the date and the time to the second.
bool isPickerValue(const SYSTEMTIME& st)
{
    return Calendar::isValidDateTime(st);
}

bool setTimePicker(QTimeEdit* picker, const SYSTEMTIME& st)
{
    if (!isPickerValue(st))
        return false;
    const QSignalBlocker blocker(picker);
    picker->setTime(QTime(st.wHour, st.wMinute, st.wSecond));
    return true;
}

// Width a long-date picker needs for its widest text; 135 dialog units are not enough in every font.
int longDatePickerWidth(const QDateEdit* picker)
{
    const QFontMetrics fm(picker->font());
    const QSize text(
        fm.horizontalAdvance(picker->locale().toString(QDate(2000, 9, 27), picker->displayFormat())) +
            fm.horizontalAdvance(QLatin1Char(' ')) * 2,
        picker->sizeHint().height());
    QStyleOptionComboBox opt;
    opt.initFrom(picker);
    opt.editable = true;
    return picker->style()->sizeFromContents(QStyle::CT_ComboBox, &opt, text, picker).width();
}

} // namespace

CDia_Day::CDia_Day(YearDocument& document, const SYSTEMTIME& selected, QWidget* parent)
    : CDia_Day(
          document.data(), selected, [&document](const DayEdit& edit) { document.commitDay(edit); }, parent)
{
}

CDia_Day::CDia_Day(YearData& year, QWidget* parent)
    : CDia_Day(
          year, year.m_settings.m_stSelected, [&year](const DayEdit& edit) { edit.applyTo(year); }, parent)
{
}

CDia_Day::CDia_Day(const YearData& year, const SYSTEMTIME& selected,
                   std::function<void(const DayEdit&)> commit, QWidget* parent)
    : QDialog(parent), m_year(year), m_selectedDay(selected), m_commit(std::move(commit)),
      m_ui(std::make_unique<Ui::DayDialog>())
{
    m_ui->setupUi(this);
    // Date texts are English whatever the user's locale, like every date the planner shows.
    setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    for (QDateEdit* picker : {m_ui->startPicker, m_ui->endPicker, m_ui->alarmDatePicker}) {
        picker->setDateRange(QDate(Calendar::kFirstYear, 1, 1), QDate(Calendar::kLastYear, 12, 31));
        // UTC has no daylight-saving gaps that could move a date; the time of day is kept apart.
        picker->setTimeSpec(Qt::UTC);
    }
    m_ui->alarmTimePicker->setTimeSpec(Qt::UTC);
    fitToDialogUnits();
    nameControls();
    OnInitDialog();
    // Connected after set-up: only what the user does from here on reaches the handlers.
    connectHandlers();
    // The focus starts on OK, first in the tab order, not on the list, where Space would pick a project.
    m_ui->okButton->setFocus(Qt::OtherFocusReason);
}

void CDia_Day::nameControls()
{
    // Every control gets a name a screen reader can say: labels are buddies of their fields, and fields
    // without a label of their own are named directly.
    auto& ui = *m_ui;
    ui.nameLabel->setBuddy(ui.nameEdit);
    ui.startLabel->setBuddy(ui.startPicker);
    ui.endLabel->setBuddy(ui.endPicker);
    ui.colorLabel->setBuddy(ui.selectColorButton);
    ui.projectList->setAccessibleName(tr("Projects"));
    ui.nameEdit->setAccessibleName(tr("Project name"));
    ui.colorSwatch->setAccessibleName(tr("Project color"));
    ui.selectColorButton->setAccessibleDescription(tr("Choose the project's color"));
    ui.startPicker->setAccessibleName(tr("Project start"));
    ui.endPicker->setAccessibleName(tr("Project end"));
    ui.memoEdit->setAccessibleName(tr("Memo"));
    ui.redDayEdit->setAccessibleName(tr("Red day text"));
    ui.alarmEdit->setAccessibleName(tr("Alarm text"));
    ui.alarmDatePicker->setAccessibleName(tr("Alarm date"));
    ui.alarmTimePicker->setAccessibleName(tr("Alarm time"));
    // The scroll area is no stop of its own in the Tab cycle: it shows no focus and has nothing to say. It
    // still brings the focused field into view.
    ui.contentScroll->setFocusPolicy(Qt::NoFocus);
}

bool CDia_Day::dayIsHeld() const
{
    return m_year.holdsDay(m_dayIndex);
}

CDia_Day::~CDia_Day() = default;

bool CDia_Day::isEditableDay(const SYSTEMTIME& selected)
{
    return Calendar::isValidDate(selected.wYear, selected.wMonth, selected.wDay);
}

SYSTEMTIME CDia_Day::editedDay(const SYSTEMTIME& selected)
{
    SYSTEMTIME day = selected;
    const int year = std::clamp<int>(selected.wYear, Calendar::kFirstYear, Calendar::kLastYear);
    const int month = std::clamp<int>(selected.wMonth, 1, 12);
    const int dayOfMonth = std::clamp<int>(selected.wDay, 1, Calendar::daysInMonth(year, month));
    day.wYear = std::uint16_t(year);
    day.wMonth = std::uint16_t(month);
    day.wDay = std::uint16_t(dayOfMonth);
    day.wDayOfWeek = std::uint16_t(Calendar::dayOfWeek(year, month, dayOfMonth));
    if (!Calendar::isValidDateTime(day))
        day.wHour = day.wMinute = day.wSecond = day.wMilliseconds = 0;
    return day;
}

void CDia_Day::fitToDialogUnits()
{
    // The dialog is designed in dialog units (415 x 337): a quarter of the average letter width across, an
    // eighth of the font height down. Sizes and gaps follow that design and scale with the font.
    const QFontMetricsF fm(font());
    const double unitX =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0 /
        4.0;
    const double unitY = fm.height() / 8.0;
    const auto dx = [unitX](int n) { return int(std::lround(n * unitX)); };
    const auto dy = [unitY](int n) { return int(std::lround(n * unitY)); };

    auto& ui = *m_ui;
    ui.projectList->setMinimumSize(dx(206), dy(147));
    ui.nameEdit->setMinimumWidth(dx(135));
    ui.colorSwatch->setFixedSize(dx(20), dy(14));
    for (QLabel* label : {ui.nameLabel, ui.colorLabel, ui.startLabel, ui.endLabel})
        label->setMinimumWidth(dx(21));
    for (QPushButton* button :
         {ui.selectColorButton, ui.addButton, ui.changeButton, ui.deleteButton, ui.cancelButton, ui.okButton})
        button->setMinimumWidth(dx(50));
    for (QDateEdit* picker : {ui.startPicker, ui.endPicker, ui.alarmDatePicker})
        picker->setMinimumWidth(std::max(dx(135), longDatePickerWidth(picker)));
    ui.alarmTimePicker->setMinimumWidth(std::max(dx(50), ui.alarmTimePicker->sizeHint().width()));
    // The radio buttons stand 70 units apart, spacing included.
    ui.pagesLayout->setSpacing(dx(4));
    ui.memoRadio->setMinimumWidth(dx(66));
    ui.redDayRadio->setMinimumWidth(dx(66));
    // The editors' own size hint is far taller than the 92-unit text area.
    ui.textPages->setMinimumWidth(dx(380));
    ui.textPages->setFixedHeight(dy(92));

    ui.dialogLayout->setContentsMargins(dx(7), dy(7), dx(7), dy(7));
    ui.dialogLayout->setSpacing(dy(3));
    ui.buttonsLayout->setSpacing(dx(10));
    ui.textsLayout->setContentsMargins(dx(10), dy(4), dx(10), dy(7));
    ui.textsLayout->setSpacing(dy(6));

    // Project fields start on their design rows (20, 40, 60, 97, 111, 130 and 153 units), level with the
    // top of the list; the spacer row only takes what a large font adds.
    QGridLayout* grid = ui.projectsLayout;
    grid->setContentsMargins(dx(10), dy(4), dx(9), dy(8));
    grid->setHorizontalSpacing(dx(7));
    grid->setVerticalSpacing(0);
    const int rowPitch[] = {20, 20, 37, 0, 14, 19, 23, 14};
    for (int row = 0; row < int(std::size(rowPitch)); ++row)
        grid->setRowMinimumHeight(row, dy(rowPitch[row]));
    const std::initializer_list<QWidget*> topAligned = {ui.nameLabel,   ui.nameEdit,    ui.colorLabel,
                                                        ui.checkedBox,  ui.longLineBox, ui.startLabel,
                                                        ui.startPicker, ui.endLabel,    ui.endPicker};
    for (QWidget* field : topAligned)
        grid->setAlignment(field, Qt::AlignTop);
    grid->setAlignment(ui.colorLayout, Qt::AlignTop);
    grid->setAlignment(ui.projectButtonsLayout, Qt::AlignBottom);
    // Labels as tall as their fields centre their text on them; the indent keeps the gap to the fields.
    for (QLabel* label : {ui.nameLabel, ui.colorLabel, ui.startLabel, ui.endLabel}) {
        label->setMinimumHeight(ui.nameEdit->sizeHint().height());
        label->setIndent(dx(5));
    }
    ui.colorLabel->setMinimumHeight(ui.selectColorButton->sizeHint().height());
    ui.colorLayout->setSpacing(dx(7));
    ui.projectButtonsLayout->setSpacing(dx(8));

    ui.contentLayout->setSpacing(dy(3));
    m_textHeight = dy(92);
    const QWidget* owner = parentWidget() ? parentWidget() : this;
    if (const QScreen* screen = owner->screen())
        fitInto(screen->availableGeometry().size());
}

void CDia_Day::fitInto(QSize available)
{
    auto& ui = *m_ui;
    const QSize room = available - kWindowFrame;
    const QMargins margins = ui.dialogLayout->contentsMargins();
    const QSize around(margins.left() + margins.right(), margins.top() + margins.bottom() +
                                                             ui.dialogLayout->spacing() +
                                                             ui.buttonsLayout->sizeHint().height());

    ui.textPages->setFixedHeight(m_textHeight);
    QSize content = ui.contentLayout->sizeHint();
    // A shorter text area first: the memo still shows four lines, and nothing needs scrolling.
    const int over = content.height() + around.height() - room.height();
    if (over > 0) {
        const QFontMetrics fm(ui.memoEdit->font());
        const int fewLines = fm.lineSpacing() * 4 + 2 * ui.memoEdit->frameWidth() +
                             int(2 * ui.memoEdit->document()->documentMargin());
        const int shorter = std::max(std::min(fewLines, m_textHeight), m_textHeight - over);
        ui.textPages->setFixedHeight(shorter);
        content = ui.contentLayout->sizeHint();
    }

    const QSize whole = content + around;
    const bool fits = whole.width() <= room.width() && whole.height() <= room.height();
    const Qt::ScrollBarPolicy policy = fits ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    ui.contentScroll->setHorizontalScrollBarPolicy(policy);
    ui.contentScroll->setVerticalScrollBarPolicy(policy);
    if (fits) {
        ui.contentScroll->setMinimumSize(content);
        setMinimumSize(0, 0);
        setFixedSize(whole);
        return;
    }
    // Scrolling: as large as the room allows, never larger than the whole dialog with its scroll bars.
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const QSize largest = whole + QSize(bar, bar);
    const QSize size = largest.boundedTo(room).expandedTo(QSize(160, around.height() + 80));
    ui.contentScroll->setMinimumSize(0, 0);
    setMinimumSize(size.boundedTo(QSize(320, 240)));
    setMaximumSize(largest);
    resize(size);
}

void CDia_Day::connectHandlers()
{
    auto& ui = *m_ui;
    const auto handler = [this](void (CDia_Day::*member)()) {
        return [this, member] { guarded([&] { (this->*member)(); }); };
    };
    const auto page = [this](Page p) { return [this, p] { guarded([&] { showPage(p); }); }; };
    connect(ui.projectList, &QListWidget::itemSelectionChanged, this,
            handler(&CDia_Day::showSelectedProject));
    ui.projectList->installEventFilter(this);
    connect(ui.projectList, &QListWidget::itemDoubleClicked, this, handler(&CDia_Day::toggleMark));
    connect(ui.selectColorButton, &QPushButton::clicked, this, handler(&CDia_Day::chooseColor));
    connect(ui.addButton, &QPushButton::clicked, this, handler(&CDia_Day::addProject));
    connect(ui.changeButton, &QPushButton::clicked, this, handler(&CDia_Day::changeProject));
    connect(ui.deleteButton, &QPushButton::clicked, this, handler(&CDia_Day::deleteProject));
    connect(ui.longLineBox, &QCheckBox::clicked, this, handler(&CDia_Day::enablePeriodPickers));
    connect(ui.checkedBox, &QCheckBox::clicked, this, handler(&CDia_Day::storeMark));
    connect(ui.memoRadio, &QRadioButton::clicked, this, page(Page::Memo));
    connect(ui.redDayRadio, &QRadioButton::clicked, this, page(Page::RedDay));
    connect(ui.alarmRadio, &QRadioButton::clicked, this, page(Page::Alarm));
    connect(ui.alarmDatePicker, &QDateEdit::dateChanged, this, [this] { m_alarmChanged = true; });
    connect(ui.alarmTimePicker, &QTimeEdit::timeChanged, this, [this] { m_alarmChanged = true; });
}

void CDia_Day::OnInitDialog()
{
    auto& ui = *m_ui;
    const SYSTEMTIME& selected = m_selectedDay;
    m_day = editedDay(selected);
    m_dayIndex = Calendar::dayOfYear(m_day.wYear, m_day.wMonth, m_day.wDay);

    QString caption = Calendar::format(m_day, "%A, %B %d, %Y");
    if (!isEditableDay(selected)) {
        caption +=
            selected.wMonth >= 1 && selected.wMonth <= 12
                ? tr(" (%1 %2 does not exist)").arg(Calendar::monthName(selected.wMonth)).arg(selected.wDay)
                : tr(" (the selected day does not exist)");
    }
    setWindowTitle(caption);

    setPicker(ui.startPicker, &m_startTime, m_day);
    setPicker(ui.endPicker, &m_endTime, m_day);
    setPicker(ui.alarmDatePicker, nullptr, m_day);
    setTimePicker(ui.alarmTimePicker, m_day);
    setColor(kDefaultColor);
    ui.memoRadio->setChecked(true);
    showPage(Page::Memo);

    guarded([&] {
        m_dayMarks.setCount(YearData::kDayListSize);
        const qsizetype marks = std::min(m_year.m_dayMarks.count(), YearData::kDayListSize);
        for (qsizetype i = 0; i < marks; ++i)
            m_dayMarks.at(i) = m_year.m_dayMarks.at(i);
        m_projects = m_year.m_projects;
        m_names = m_year.m_names;
        for (const QByteArray& name : m_names)
            ui.projectList->addItem(TextCodec::decode(name));

        const auto show = [](QPlainTextEdit* edit, QString& shown, const QByteArray& text) {
            edit->setPlainText(TextCodec::decode(text));
            shown = edit->toPlainText();
        };
        show(ui.memoEdit, m_memoShown, m_year.m_memos.at(m_dayIndex));
        show(ui.alarmEdit, m_alarmShown, m_year.m_alarmTexts.at(m_dayIndex));
        show(ui.redDayEdit, m_redShown, m_year.m_redTexts.at(m_dayIndex));

        const AlarmRecord& alarm = m_year.m_alarms.at(m_dayIndex);
        if (alarm.m_bOn && isPickerValue(alarm.m_stWhen)) {
            setPicker(ui.alarmDatePicker, nullptr, alarm.m_stWhen);
            setTimePicker(ui.alarmTimePicker, alarm.m_stWhen);
        }
        ui.everyYearBox->setChecked(m_year.m_redDays.at(m_dayIndex).m_bEveryYear != 0);
    });
}

void CDia_Day::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_toldUnheld || dayIsHeld())
        return;
    m_toldUnheld = true;
    // Said when the dialog opens, not only at OK: the user should not type into a day that cannot be kept.
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Tolva"),
                                tr("This day cannot be edited: the year's file is damaged and holds no entry "
                                   "for it. Repair or remove the year file to edit it."),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void CDia_Day::accept()
{
    bool committed = false;
    guarded([&] { committed = OnOK(); });
    if (committed) {
        QDialog::accept();
        return;
    }
    // Never a silent OK: the dialog stays open with the user's input and says why nothing was stored.
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Tolva"),
                                tr("This day cannot be stored: the year's file is damaged and holds no entry "
                                   "for it. Nothing was changed; repair or remove the year file to edit it."),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

bool CDia_Day::OnOK()
{
    auto& ui = *m_ui;
    const qsizetype day = m_dayIndex;

    // Everything that can fail is read before the first write, so a failed commit writes nothing.
    const QByteArray memo = storedText(ui.memoEdit, m_memoShown, m_year.m_memos.at(day));
    const QByteArray redText = storedText(ui.redDayEdit, m_redShown, m_year.m_redTexts.at(day));
    RedDayRecord redDay = m_year.m_redDays.at(day);
    const QByteArray alarmText = storedText(ui.alarmEdit, m_alarmShown, m_year.m_alarmTexts.at(day));
    AlarmRecord alarm = m_year.m_alarms.at(day);

    if (!redText.isEmpty()) {
        redDay.m_bEveryYear = ui.everyYearBox->isChecked() ? 1 : 0;
        // The edited day is always a real date with a valid time, so the stored date is always renewed.
        redDay.m_stDate = m_day;
        redDay.m_stDate.wMilliseconds = 0;
    }
    if (alarmText.isEmpty()) {
        alarm.m_bOn = 0;
    } else if (m_alarmChanged) {
        alarm.m_stWhen = alarmMoment();
        alarm.m_bOn = 1;
        alarm.m_bFired = 0;
    }

    DayEdit edit;
    edit.dayIndex = m_dayIndex;
    edit.projects = m_projects;
    edit.names = m_names;
    edit.dayMarks = m_dayMarks;
    edit.memo = memo;
    edit.redText = redText;
    if (!redText.isEmpty())
        edit.redDay = redDay;
    edit.alarmText = alarmText;
    edit.alarm = alarm;
    m_commit(edit);
    return true;
}

// The list keeps a current row while nothing is selected (the first, given with the focus, or the row
// last changed), so Down would select the row after it: with nothing selected Down selects the first.
bool CDia_Day::eventFilter(QObject* watched, QEvent* event)
{
    QListWidget* list = m_ui->projectList;
    if (watched == list && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down &&
        (static_cast<QKeyEvent*>(event)->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        list->selectedItems().isEmpty() && list->count() > 0) {
        list->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

int CDia_Day::listSelection() const
{
    const QList<QListWidgetItem*> items = m_ui->projectList->selectedItems();
    return items.isEmpty() ? -1 : m_ui->projectList->row(items.first());
}

void CDia_Day::showSelectedProject()
{
    auto& ui = *m_ui;
    m_selected = listSelection();
    if (m_selected < 0) {
        ui.colorSwatch->update();
        return;
    }
    const ProjectRecord project = m_projects.at(m_selected);
    ui.nameEdit->setText(TextCodec::decode(m_names.at(m_selected)));
    setPicker(ui.startPicker, &m_startTime, project.m_stStart);
    setPicker(ui.endPicker, &m_endTime, project.m_stEnd);
    setColor(project.m_crColor);
    if (m_selected < kMaxProjects)
        ui.checkedBox->setChecked(m_dayMarks.at(m_dayIndex).m_bChecked[m_selected] != 0);
    ui.longLineBox->setChecked(project.m_bLongLine != 0);
    enablePeriodPickers();
}

void CDia_Day::toggleMark()
{
    if (m_selected < 0)
        return;
    m_ui->checkedBox->setChecked(!m_ui->checkedBox->isChecked());
    storeMark();
}

void CDia_Day::storeMark()
{
    if (m_selected < 0 || m_selected >= kMaxProjects)
        return;
    m_dayMarks.at(m_dayIndex).m_bChecked[m_selected] = m_ui->checkedBox->isChecked() ? 1 : 0;
}

void CDia_Day::enablePeriodPickers()
{
    const bool enable = m_ui->longLineBox->isChecked();
    m_ui->startPicker->setEnabled(enable);
    m_ui->endPicker->setEnabled(enable);
}

void CDia_Day::chooseColor()
{
    // Starts from black, not from the swatch.
    const QColor chosen = QColorDialog::getColor(Qt::black, this);
    if (!chosen.isValid())
        return;
    setColor(makeColorRef(chosen.red(), chosen.green(), chosen.blue()));
}

ProjectRecord CDia_Day::projectFromFields() const
{
    ProjectRecord project{};
    project.m_bLongLine = m_ui->longLineBox->isChecked() ? 1 : 0;
    project.m_stStart = pickerTime(m_ui->startPicker, m_startTime);
    project.m_stEnd = pickerTime(m_ui->endPicker, m_endTime);
    project.m_crColor = m_color;
    return project;
}

void CDia_Day::addProject()
{
    const QString name = m_ui->nameEdit->text();
    {
        const QSignalBlocker blocker(m_ui->projectList);
        m_ui->projectList->addItem(name);
    }
    ProjectList(m_projects, m_names, m_dayMarks).append(projectFromFields(), TextCodec::encode(name));
}

void CDia_Day::changeProject()
{
    auto& ui = *m_ui;
    m_selected = listSelection();
    if (m_selected < 0)
        return;
    ProjectList projects(m_projects, m_names, m_dayMarks);
    projects.checkPosition(m_selected);
    const QByteArray name = TextCodec::reencode(ui.nameEdit->text(), m_names.at(m_selected));
    {
        const QSignalBlocker blocker(ui.projectList);
        ui.projectList->item(m_selected)->setText(ui.nameEdit->text());
        ui.projectList->clearSelection();
    }
    // The pickers keep the stored time of day, so a changed period keeps its hours.
    projects.replace(m_selected, projectFromFields(), name);
}

void CDia_Day::deleteProject()
{
    auto& ui = *m_ui;
    m_selected = listSelection();
    if (m_selected < 0)
        return;
    ProjectList projects(m_projects, m_names, m_dayMarks);
    projects.checkPosition(m_selected);
    {
        const QSignalBlocker blocker(ui.projectList);
        delete ui.projectList->takeItem(m_selected);
        if (m_selected < ui.projectList->count())
            ui.projectList->setCurrentRow(m_selected, QItemSelectionModel::ClearAndSelect);
        else
            ui.projectList->clearSelection();
    }
    projects.remove(m_selected);
    if (ui.projectList->count() == 0) {
        // "repeat every year" stays: it belongs to the red day, which a project deletion must not change.
        ui.nameEdit->clear();
        ui.checkedBox->setChecked(false);
        ui.longLineBox->setChecked(false);
        setColor(kDefaultColor);
        enablePeriodPickers();
    }
    showSelectedProject();
}

void CDia_Day::showPage(Page page)
{
    auto& ui = *m_ui;
    ui.textPages->setCurrentWidget(page == Page::Memo     ? ui.memoEdit
                                   : page == Page::RedDay ? ui.redDayEdit
                                                          : ui.alarmEdit);
    ui.alarmDatePicker->setEnabled(page == Page::Alarm);
    ui.alarmTimePicker->setEnabled(page == Page::Alarm);
    ui.everyYearBox->setEnabled(page == Page::RedDay);
    // Each visit shows the stored flag again; a change from an earlier visit is dropped.
    if (page == Page::RedDay)
        ui.everyYearBox->setChecked(m_year.m_redDays.at(m_dayIndex).m_bEveryYear != 0);
}

void CDia_Day::setColor(COLORREF color)
{
    m_color = color;
    QPalette palette = m_ui->colorSwatch->palette();
    palette.setColor(QPalette::Window, colorFromColorRef(color));
    palette.setColor(QPalette::WindowText, Qt::black);
    m_ui->colorSwatch->setPalette(palette);
    // A label, so that a screen reader reads it as the colour it shows and not as an empty frame.
    m_ui->colorSwatch->setAccessibleDescription(colorFromColorRef(color).name().toUpper());
    m_ui->colorSwatch->update();
}

SYSTEMTIME CDia_Day::alarmMoment() const
{
    const QDate date = m_ui->alarmDatePicker->date();
    const QTime time = m_ui->alarmTimePicker->time();
    SYSTEMTIME moment = Calendar::makeDate(date.year(), date.month(), date.day());
    moment.wHour = std::uint16_t(time.hour());
    moment.wMinute = std::uint16_t(time.minute());
    moment.wSecond = std::uint16_t(time.second());
    return moment;
}

bool CDia_Day::setPicker(QDateEdit* picker, QTime* kept, const SYSTEMTIME& st)
{
    // A value the picker cannot show leaves it as it was, time of day included.
    if (!isPickerValue(st))
        return false;
    const QSignalBlocker blocker(picker);
    picker->setDate(QDate(st.wYear, st.wMonth, st.wDay));
    if (kept)
        *kept = QTime(st.wHour, st.wMinute, st.wSecond);
    return true;
}

SYSTEMTIME CDia_Day::pickerTime(const QDateEdit* picker, QTime kept)
{
    const QDate date = picker->date();
    SYSTEMTIME st = Calendar::makeDate(date.year(), date.month(), date.day());
    if (kept.isValid()) {
        st.wHour = std::uint16_t(kept.hour());
        st.wMinute = std::uint16_t(kept.minute());
        st.wSecond = std::uint16_t(kept.second());
    }
    return st;
}

QByteArray CDia_Day::storedText(const QPlainTextEdit* edit, const QString& shown, const QByteArray& original)
{
    const QString text = edit->toPlainText();
    if (text == shown)
        return original;
    // The edit shows lines split by LF; the stored texts, like the files they come from, use CR LF.
    QString lines = text;
    lines.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return TextCodec::reencode(lines, original);
}
