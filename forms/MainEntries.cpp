// The main window's trip entries and track export commands: "Записи…" lists one kind of entries of the server's
// current trip in the entries window, "Экспорт трека" has the server write the current trip's track to a file.
#include "forms/Main.h"

#include "automation/Navilonix_OCX.h"
#include "forms/Application.h"
#include "forms/Controls.h"
#include "forms/Formats.h"
#include "forms/Pointslist.h"
#include "forms/ServerText.h"
#include "forms/UiSeam.h"
#include "platform/ole/Bstr.h"
#include "platform/rtl/FileName.h"

#include <QComboBox>
#include <QFileInfo>
#include <QPushButton>
#include <QTreeWidget>

#include <array>
#include <memory>

namespace {

// The list type and kind names that select one entry kind in the server, by the position of the kind in
// EntriesTypeBox. A kind without a kind name writes only the type; the server keeps the kind it held.
struct TEntriesKind {
    const char* typeName;
    const char* kindName;
};

constexpr std::array<TEntriesKind, 20> EntriesKinds{{
    {"checkpoints", "points"}, // К. точки
    {"checkpoints", "stages"}, // К. отрезки
    {"geozones", "zones"},     // Геозоны
    {"geozones", "stages"},    // Г. отрезки
    {"parks", nullptr},        // Остановки
    {"blinds", nullptr},       // Сигнал
    {"power_off", nullptr},    // Питание
    {"over_speed", nullptr},   // Скорость
    {"tank", "num1"},          // Бак 1
    {"tank", "num2"},          // Бак 2
    {"tank", "num3"},          // Бак 3
    {"tank", "num4"},          // Бак 4
    {"sensor_on", "num1"},     // Датчик 1
    {"sensor_on", "num2"},     // Датчик 2
    {"sensor_on", "num3"},     // Датчик 3
    {"sensor_on", "num4"},     // Датчик 4
    {"sensor_on", "num5"},     // Датчик 5
    {"sensor_on", "num6"},     // Датчик 6
    {"sensor_on", "num7"},     // Датчик 7
    {"sensor_on", "num8"},     // Датчик 8
}};

// The extension forced on the export file name by the picked filter (1: PLT; 2, and anything the filter list
// does not have: KML, the dialog's default).
constexpr const char* TrackExtension(int filterIndex) {
    return filterIndex == 1 ? ".plt" : ".kml";
}

QString Value(double value) {
    return QString::fromStdString(FormatTripValue(value));
}

// Reads the entries of the server's current list into the window: one row per entry, captioned with the
// entry's identifier and carrying its 1-based position.
void FillPointsList(QTreeWidget* view) {
    const TBulkUpdate update(view);
    view->clear();
    const LONG entriesNum = Automation->get_TripEntriesNum();
    for (LONG i = 1; i <= entriesNum; ++i) {
        Automation->set_EntryIndex(i);
        auto* row = new QTreeWidgetItem(view);
        row->setText(0, QString::number(Automation->get_EntryID()));
        row->setData(0, Qt::UserRole, static_cast<int>(i));
        row->setText(1, QText(Automation->get_EntryStartName()));
        row->setText(2, QText(Automation->get_EntryStartRealTime()));
        row->setText(3, QText(Automation->get_EntryEndName()));
        row->setText(4, QText(Automation->get_EntryEndRealTime()));
        row->setText(5, QText(Automation->get_EntryRealCont()));
        row->setText(6, Value(Automation->get_EntryDistance() * 0.001));
        row->setText(7, Value(Automation->get_EntryTank1StartLevel()));
        row->setText(8, Value(Automation->get_EntryTank1EndLevel()));
        row->setText(9, Value(Automation->get_EntryTank2StartLevel()));
        row->setText(10, Value(Automation->get_EntryTank2EndLevel()));
        row->setText(11, Value(Automation->get_EntryMotor1Hours()));
        row->setText(12, Value(Automation->get_EntryMotor2Hours()));
        row->setText(13, Value(Automation->get_EntryMotor1Fuel()));
        row->setText(14, Value(Automation->get_EntryMotor2Fuel()));
    }
}

// Empties the application-wide reference when the window it names goes.
class TPointsListReference {
public:
    explicit TPointsListReference(TPointsListForm* form) { PointsListForm = form; }
    TPointsListReference(const TPointsListReference&) = delete;
    TPointsListReference& operator=(const TPointsListReference&) = delete;
    ~TPointsListReference() { PointsListForm = nullptr; }
};

} // namespace

void TMainForm::ConnectEntriesHandlers() {
    OnClick(EntriesButton, &TMainForm::EntriesButtonClick);
    OnClick(ExportToFileButton, &TMainForm::ExportToFileButtonClick);
}

void TMainForm::EntriesButtonClick(QObject*) {
    const int position = EntriesTypeBox->currentIndex();
    if (position < 0 || position >= static_cast<int>(EntriesKinds.size()))
        return;
    const TEntriesKind& kind = EntriesKinds[static_cast<std::size_t>(position)];
    Automation->set_TripEntriesListTypeName(BStr(kind.typeName).get());
    if (kind.kindName)
        Automation->set_TripEntriesListKindName(BStr(kind.kindName).get());

    // A fresh window for each click, destroyed when its modal showing ends.
    const auto form = std::make_unique<TPointsListForm>(this);
    const TPointsListReference reference(form.get());
    form->setWindowTitle(EntriesTypeBox->currentText());
    FillPointsList(form->PointsListView);
    form->ShowModal();
}

void TMainForm::ExportToFileButtonClick(QObject*) {
    if (!UiSeam::ExecuteFileDialog(*ExportTrackDialog, this))
        return;
    // The server may have closed while the dialog was open.
    if (!Automation)
        return;
    // Blanks and control characters go from both ends of the whole path and of its name part ("folder/  route").
    const std::string accepted = ExportTrackDialog->FileName.toStdString();
    const std::string trimmed = Trim(accepted);
    const std::string folder = ExtractFilePath(trimmed);
    const std::string name = Trim(ExtractFileName(trimmed));
    if (Trim(ChangeFileExt(name, "")).empty()) { // nothing but blanks and an extension
        Application->MessageBox(QStringLiteral("Не указано имя файла трека."), Application->Title(),
                                MB_OK | MB_ICONWARNING);
        return;
    }
    const std::string fileName = ChangeFileExt(folder + name, TrackExtension(ExportTrackDialog->FilterIndex));
    ExportTrackDialog->FileName = QString::fromStdString(fileName);
    // The dialog asks nothing (its name may still change here), so an existing file under the corrected name is
    // replaced only when the user says so. A server on another machine writes the name there: a file of the same
    // name here says nothing about it.
    if (m_remoteMachine.empty() && QFileInfo::exists(QString::fromStdString(fileName)) &&
        Application->MessageBox(
            QStringLiteral("Файл %1 уже существует.\nЗаменить его?").arg(QString::fromStdString(fileName)),
            Application->Title(), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (!Automation) // gone while the question was open
        return;
    // The format reaches the server as the file's extension; the other arguments are fixed.
    OleCheck(Automation->ExportTrackToFile(BStr(fileName).get(), 1, BStr("").get(), BStr("").get(), 0, 0, -1, 0, 0, 0));
}
