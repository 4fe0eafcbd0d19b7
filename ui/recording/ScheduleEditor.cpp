#include "ScheduleEditor.h"

#include <QCheckBox>
#include <QTimeEdit>

#include <map>

#include "CPosStatic.h"
#include "CSkinButton.h"
#include "CTitleLabel.h"
#include "Engine.h"
#include "FontHeight.h"

namespace cx {

namespace {

const std::array<const char*, 7> dayNames = {"Monday", "Tuesday", "Wednesday", "Thursday",
                                              "Friday", "Saturday", "Sunday"};
constexpr int minutesPerDay = 1440;

QTime timeOf(int minute)
{
    return QTime(minute / 60, minute % 60);
}

int minuteOf(const QTime& t)
{
    return t.hour() * 60 + t.minute();
}

}  // namespace

EditorWeek editorWeekOf(const ScheduleTable& table)
{
    EditorWeek week;
    for (int row = 0; row < 7; ++row) {
        const auto window = dayWindow(table, row);
        // A start past the day's last minute can never be reached: closed.
        if (!window || window->startMinute < 0 || window->startMinute >= minutesPerDay) continue;
        const auto r = static_cast<size_t>(row);
        const int endLabel = labelMinutes(table.labels[static_cast<size_t>(table.week.index[r * 2 + 1])]);
        int end = endLabel;
        if (end >= minutesPerDay || end < 0) end = minutesPerDay - 1;  // "30:00": open to midnight
        if (window->endMinute < window->startMinute) continue;          // never open
        week[r] = {true, timeOf(window->startMinute), timeOf(end)};
    }
    return week;
}

ScheduleTable scheduleTableOf(const EditorWeek& week)
{
    ScheduleTable table;
    std::map<int, int> labelOf;  // minute -> label index, in time order
    for (const EditorDay& d : week)
        if (d.open) labelOf[minuteOf(d.start)] = 0, labelOf[minuteOf(d.end)] = 0;
    int next = 0;
    for (auto& [minute, index] : labelOf) {
        index = next;
        table.labels[static_cast<size_t>(next++)] = timeOf(minute).toString(QStringLiteral("HH:mm")).toStdString();
    }
    for (size_t row = 0; row < 7; ++row) {
        const EditorDay& d = week[row];
        // Past the labels: the tick keeps such a day closed.
        table.week.index[row * 2] = d.open ? labelOf[minuteOf(d.start)] : -1;
        table.week.index[row * 2 + 1] = d.open ? labelOf[minuteOf(d.end)] : -1;
    }
    return table;
}

QString rowNote(const EditorWeek& week, int row)
{
    const EditorDay& d = week[static_cast<size_t>(row)];
    if (!d.open) return QStringLiteral("No recording");
    if (d.end < d.start)
        return QStringLiteral("Until midnight; then %1's row decides").arg(QString::fromLatin1(dayNames[static_cast<size_t>((row + 1) % 7)]));
    if (d.end == d.start) return QStringLiteral("One minute");
    return {};
}

ScheduleEditor::ScheduleEditor(Engine& engine, QWidget* parent) : SkinDialog(parent), engine_(engine)
{
    setObjectName(QStringLiteral("scheduleEditor"));
    setWindowTitle(QStringLiteral("Timetable"));
    setFixedSize(680, 470);

    addDialogTitle(this, QStringLiteral("Timetable"), QRect(20, 14, 640, 34), QStringLiteral("title"));

    QFont rowFont(QStringLiteral("DejaVu Sans"));
    rowFont.setPixelSize(fontPixelSize(15));
    const auto header = [&](const QString& text, int x, int w) {
        auto* l = new CPosStatic(LabelRole::Other, this);
        l->setPaintsBackground(false);
        l->setFont(rowFont);
        l->setText(text);
        l->setGeometry(x, 58, w, 24);
    };
    header(QStringLiteral("Day"), 24, 120);
    header(QStringLiteral("From"), 150, 80);
    header(QStringLiteral("To"), 240, 80);

    const EditorWeek shown = editorWeekOf(engine_.schedule());
    for (int row = 0; row < 7; ++row) {
        const auto r = static_cast<size_t>(row);
        const int y = 88 + row * 42;
        auto* open = new QCheckBox(QString::fromLatin1(dayNames[r]), this);
        open->setObjectName(QStringLiteral("day%1").arg(row));
        open->setFont(rowFont);
        open->setGeometry(24, y, 120, 30);
        open->setChecked(shown[r].open);
        auto* start = new QTimeEdit(shown[r].start, this);
        start->setObjectName(QStringLiteral("start%1").arg(row));
        start->setDisplayFormat(QStringLiteral("HH:mm"));
        start->setGeometry(150, y, 80, 30);
        auto* end = new QTimeEdit(shown[r].end, this);
        end->setObjectName(QStringLiteral("end%1").arg(row));
        end->setDisplayFormat(QStringLiteral("HH:mm"));
        end->setGeometry(240, y, 80, 30);
        auto* note = new CPosStatic(LabelRole::Other, this);
        note->setObjectName(QStringLiteral("note%1").arg(row));
        note->setPaintsBackground(false);
        note->setFont(rowFont);
        note->setGeometry(330, y, 330, 30);
        open_[r] = open;
        start_[r] = start;
        end_[r] = end;
        note_[r] = note;
        connect(open, &QCheckBox::toggled, this, &ScheduleEditor::updateNotes);
        connect(start, &QTimeEdit::timeChanged, this, &ScheduleEditor::updateNotes);
        connect(end, &QTimeEdit::timeChanged, this, &ScheduleEditor::updateNotes);
    }

    result_ = new CPosStatic(LabelRole::Other, this);
    result_->setObjectName(QStringLiteral("result"));
    result_->setPaintsBackground(false);
    result_->setFont(rowFont);
    result_->setGeometry(150, 394, 320, 30);

    auto* saveButton = new CSkinButton(this);
    saveButton->setObjectName(QStringLiteral("save"));
    saveButton->setText(QStringLiteral("Save"));
    saveButton->resize(110, 30);
    saveButton->setBitmap("save.bmp");
    saveButton->placeAt(24, 420);
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });

    auto* close = new CSkinButton(this);
    close->setObjectName(QStringLiteral("close"));
    close->setText(QStringLiteral("Close"));
    close->resize(110, 30);
    close->setBitmap("close.bmp");
    close->placeAt(width() - 24 - close->width(), 420);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    updateNotes();
}

EditorWeek ScheduleEditor::week() const
{
    EditorWeek week;
    for (size_t r = 0; r < 7; ++r) {
        const QTime s = start_[r]->time(), e = end_[r]->time();
        week[r] = {open_[r]->isChecked(), QTime(s.hour(), s.minute()), QTime(e.hour(), e.minute())};
    }
    return week;
}

void ScheduleEditor::updateNotes()
{
    const EditorWeek w = week();
    for (size_t r = 0; r < 7; ++r) {
        start_[r]->setEnabled(w[r].open);
        end_[r]->setEnabled(w[r].open);
        note_[r]->setText(rowNote(w, static_cast<int>(r)));
    }
}

bool ScheduleEditor::save()
{
    if (!engine_.saveSchedule(scheduleTableOf(week()))) {
        result_->setText(QStringLiteral("The timetable could not be written."));
        return false;
    }
    accept();
    return true;
}

}  // namespace cx
