// The check point list page and the vehicle check point parameters of the main window: the list of the server's
// check points with its current one, loading, saving, clearing and deleting them, and the call that gives a
// vehicle its check point and geozone lists.
#include "forms/Main.h"

#include "automation/Navilonix_OCX.h"
#include "forms/Application.h"
#include "forms/Controls.h"
#include "forms/Formats.h"
#include "forms/ServerText.h"
#include "forms/UiSeam.h"
#include "platform/ole/Bstr.h"
#include "platform/rtl/Conversion.h"
#include "platform/rtl/FileName.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTreeWidget>

#include <cstdint>
#include <set>

namespace {

// The folder of the server's check point files, below its work directory.
const char* const PointsFolder = "/Points";

// Whether two paths name the same file or folder: the same text once cleaned, or the same existing target.
bool SameFile(const QString& a, const QString& b) {
    if (QDir::cleanPath(a) == QDir::cleanPath(b))
        return true;
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

} // namespace

void TMainForm::ConnectCheckPointHandlers() {
    // Only selections count: a row that loses its selection changes nothing in the server.
    connect(ChPListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) {
                std::set<int> rows;
                for (const QModelIndex& index : selected.indexes())
                    rows.insert(index.row());
                for (const int row : rows) {
                    QTreeWidgetItem* item = ChPListView->topLevelItem(row);
                    Guarded([this, item] { ChPListViewSelectItem(ChPListView, item, true); });
                }
            });
    OnClick(LoadChPFromFileButton, &TMainForm::LoadChPFromFileButtonClick);
    OnClick(SaveChPToFileButton, &TMainForm::SaveChPToFileButtonClick);
    OnClick(ClearCheckPointsButton, &TMainForm::ClearCheckPointsButtonClick);
    OnClick(DeleteCheckPointButton, &TMainForm::DeleteCheckPointButtonClick);
    OnDropDown(CheckPointsBox, &TMainForm::CheckPointsBoxDropDown);
    OnDropDown(GeoZonesBox, &TMainForm::CheckPointsBoxDropDown);
    OnClick(SetChPPrmsButton, &TMainForm::SetChPPrmsButtonClick);
}

void TMainForm::FillChPList() {
    const TBulkUpdate update(ChPListView);
    ChPListView->clear();
    if (!Automation)
        return;

    const LONG count = Automation->get_CheckPointsNum();
    const LONG current = Automation->get_CheckPointIndex();
    // A negative count is no list at all: nothing to walk and no row to select.
    const LONG n = count < 0 ? 0 : count;
    // An index beyond the list, or a negative one (compared unsigned, it is beyond too), selects the last row.
    const LONG s = static_cast<std::uint32_t>(current) > static_cast<std::uint32_t>(n) ? n : current;

    for (LONG i = 1; i <= n; ++i) {
        Automation->set_CheckPointIndex(i);
        QStringList texts;
        texts.reserve(6);
        texts.append(QText(Automation->get_CheckPointName()));
        auto* item = new QTreeWidgetItem(ChPListView, texts);
        item->setData(0, Qt::UserRole, static_cast<int>(i));
        item->setText(1, QText(Automation->get_CheckPointAddress()));
        item->setText(2, QText(Automation->get_CheckPointID()));
        // Southern latitudes and western longitudes show their absolute value with their own hemisphere.
        item->setText(3, QString::fromStdString(FormatLatitude(Automation->get_CheckPointLatitude())));
        item->setText(4, QString::fromStdString(FormatLongitude(Automation->get_CheckPointLongitude())));
        item->setText(5, QString::fromStdString(IntToStr(Automation->get_CheckPointRadius())));
    }

    if (s != 0) {
        Automation->set_CheckPointIndex(s);
        QTreeWidgetItem* item = ChPListView->topLevelItem(static_cast<int>(s - 1));
        ChPListView->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        ChPListView->setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        ChPListView->scrollToItem(item, QAbstractItemView::EnsureVisible);
    }
    ChangeCheckPointButton->setEnabled(s != 0);
    DeleteCheckPointButton->setEnabled(s != 0);
}

void TMainForm::ChPListViewSelectItem(QObject*, QTreeWidgetItem* Item, bool Selected) {
    if (!Selected || !Item || !Automation)
        return;
    Automation->set_CheckPointIndex(static_cast<LONG>(Item->data(0, Qt::UserRole).toInt()));
}

bool TMainForm::ChooseChPFile(TFileDialog& dialog, std::string& name) {
    const QString folder = QText(Automation->get_WorkDirectory()) + PointsFolder;
    dialog.InitialDir = folder;
    dialog.FileName.clear();
    if (!UiSeam::ExecuteFileDialog(dialog, this) || !Automation)
        return false;
    // The server knows its lists by bare name in its own folder: a file picked elsewhere would be another file
    // of the same name there.
    const QFileInfo picked(QDir(folder).absoluteFilePath(dialog.FileName));
    if (!SameFile(picked.absolutePath(), folder)) {
        Application->MessageBox(
            QStringLiteral("Списки контрольных точек хранятся в папке сервера:\n%1\nВыберите файл в этой папке.")
                .arg(QDir::cleanPath(folder)),
            Application->Title(), MB_OK | MB_ICONWARNING);
        return false;
    }
    name = ChangeFileExt(ExtractFileName(dialog.FileName.toStdString()), "");
    return true;
}

void TMainForm::LoadChPFromFileButtonClick(QObject*) {
    std::string name;
    if (!ChooseChPFile(*LoadChPDialog, name))
        return;
    OleCheck(Automation->LoadChPFromFile(BStr(name).get()));
    Automation->set_CheckPointIndex(1);
    FillChPList();
}

void TMainForm::SaveChPToFileButtonClick(QObject*) {
    std::string name;
    if (!ChooseChPFile(*SaveChPDialog, name))
        return;
    // The server writes <name>.chp whatever extension was picked; the dialog asked only about the picked file.
    const QString target = SaveChPDialog->InitialDir + '/' + QString::fromStdString(name) + QStringLiteral(".chp");
    if (QFileInfo::exists(target) &&
        !SameFile(target, QDir(SaveChPDialog->InitialDir).absoluteFilePath(SaveChPDialog->FileName)) &&
        Application->MessageBox(QStringLiteral("Файл %1 уже существует.\nЗаменить его?").arg(QDir::cleanPath(target)),
                                Application->Title(), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (!Automation) // gone while the question was open
        return;
    OleCheck(Automation->SaveChPToFile(BStr(name).get()));
}

void TMainForm::ClearCheckPointsButtonClick(QObject*) {
    OleCheck(Automation->ClearCheckPoints());
    FillChPList();
}

void TMainForm::DeleteCheckPointButtonClick(QObject*) {
    OleCheck(Automation->DeleteCheckPoint());
    FillChPList();
}

void TMainForm::CheckPointsBoxDropDown(QObject*) {
    {
        const TBulkUpdate update(CheckPointsBox);
        CheckPointsBox->ClearItems();
        if (Automation) {
            const std::string pattern = Text(Automation->get_WorkDirectory()) + PointsFolder + "/*.chp";
            for (const std::string& file : FindFiles(pattern))
                CheckPointsBox->AddItem(QString::fromStdString(ChangeFileExt(file, "")));
        }
    }
    const TBulkUpdate update(GeoZonesBox);
    GeoZonesBox->ClearItems();
    for (int i = 0; i < CheckPointsBox->count(); ++i)
        GeoZonesBox->AddItem(CheckPointsBox->itemText(i), CheckPointsBox->itemData(i));
}

void TMainForm::SetChPPrmsButtonClick(QObject*) {
    const LONG useDefaults = DefaultChPPrmsBox->isChecked() ? 1 : 0;
    const std::string checkPointsFile = CheckPointsBox->Text().toStdString();
    const LONG callOnPark = CallPointsByParkBox->isChecked() ? 1 : 0;
    const LONG parkMinutes = StrToInt(CallPointsByParkTimeEdit->text().toStdString());
    const LONG callOnSensor = CallPointsBySensBox->isChecked() ? 1 : 0;
    const LONG sensorNumber = CallPointsBySensIndexBox->currentIndex() + 1;
    const LONG sensorSeconds = StrToInt(CallPointsBySensTimeEdit->text().toStdString());
    const std::string geoZonesFile = GeoZonesBox->Text().toStdString();
    const LONG device = StrToInt(CarsComboBox->Text().toStdString());
    const std::string groupFile = GroupsComboBox->Text().toStdString();
    OleCheck(Automation->SetCarChPParameters(BStr(groupFile).get(), device, useDefaults, BStr(checkPointsFile).get(),
                                             callOnPark, parkMinutes, callOnSensor, sensorNumber, sensorSeconds,
                                             BStr(geoZonesFile).get()));
}
