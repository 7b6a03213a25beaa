// Trip computing and the trips list of the main window: starting the server's computation for the vehicle and
// period of the control sheet, and listing the trips it found, one row per trip, with the selected row as the
// server's current trip.
#include "forms/Main.h"

#include "automation/Navilonix_OCX.h"
#include "forms/Controls.h"
#include "forms/Formats.h"
#include "forms/ServerText.h"
#include "platform/ole/Bstr.h"
#include "platform/rtl/Conversion.h"
#include "platform/rtl/DateTimeFormat.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdint>

namespace {

// The calendar date of a date picker with the time of day of a time picker (the date picker's own time of day
// plays no part).
TDateTime PeriodPoint(const QDateEdit* datePicker, const QTimeEdit* timePicker) {
    const QDate date = datePicker->date();
    const QTime time = timePicker->time();
    return EncodeDateTime(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(),
                          time.msec());
}

QString TripValue(double value) {
    return QString::fromStdString(FormatTripValue(value));
}

} // namespace

void TMainForm::ConnectComputingHandlers() {
    OnClick(ComputingButton, &TMainForm::ComputingButtonClick);
    OnClick(ComputingResultButton, &TMainForm::ComputingResultButtonClick);
    // Each row whose selection changes is reported once (its first column stands for the whole row).
    connect(
        TripsListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this](const QItemSelection& selected, const QItemSelection& deselected) {
            for (const QModelIndex& index : deselected.indexes())
                if (index.column() == 0)
                    Guarded(
                        [&] { TripsListViewSelectItem(TripsListView, TripsListView->itemFromIndex(index), false); });
            for (const QModelIndex& index : selected.indexes())
                if (index.column() == 0)
                    Guarded([&] { TripsListViewSelectItem(TripsListView, TripsListView->itemFromIndex(index), true); });
        });
}

void TMainForm::ComputingButtonClick(QObject*) {
    const TDateTime periodStart = PeriodPoint(FirstDatePicker, FirstTimePicker);
    const TDateTime periodEnd = PeriodPoint(LastDatePicker, LastTimePicker);
    Automation->set_ComputingTimeout(15);
    const std::string startText = FormatPeriodTime(periodStart);
    const std::string endText = FormatPeriodTime(periodEnd);
    const std::string source = GSMSourceButton->isChecked() ? "GSM" : "USB";
    const LONG splitTrips = TakeTripsSetupBox->isChecked() ? 1 : 0;
    // A text that is no decimal number ends the click here, before anything is started.
    const LONG device = StrToInt(CarsComboBox->Text().toStdString());
    const std::string groupFile = GroupsComboBox->Text().toStdString();
    OleCheck(Automation->StartComputing(BStr(groupFile).get(), device, BStr(startText).get(), BStr(endText).get(),
                                        BStr(source).get(), splitTrips));
    ComputingTimerTimer(ComputingTimer);
    // Started even when the poll found the server idle: a computation that has not begun yet is seen next tick.
    ComputingTimer->start();
}

void TMainForm::ComputingResultButtonClick(QObject*) {
    PageControl->setCurrentWidget(TripsInfoSheet);
}

void TMainForm::FillTripsList() {
    const TBulkUpdate update(TripsListView);
    TripsListView->clear();
    if (!Automation)
        return;

    // A negative count is taken as no trips.
    const auto tripsNum = static_cast<std::uint32_t>(std::max<LONG>(Automation->get_TripsNum(), 0));
    // The server's current trip, kept when it lies in the list; compared unsigned, so a negative one counts as
    // beyond the end.
    auto choice = static_cast<std::uint32_t>(Automation->get_TripIndex());
    if (choice == 0)
        choice = 1;
    if (choice > tripsNum)
        choice = tripsNum;

    for (std::uint32_t i = 1; i <= tripsNum; ++i) {
        Automation->set_TripIndex(static_cast<LONG>(i));
        auto* row = new QTreeWidgetItem(TripsListView);
        row->setText(0, QString::number(i));
        row->setData(0, Qt::UserRole, static_cast<int>(i));
        row->setText(1, QText(Automation->get_TripStartRealTime()));
        row->setText(2, QText(Automation->get_TripEndRealTime()));
        row->setText(3, QText(Automation->get_TripRealCont()));
        row->setText(4, QText(Automation->get_TripMoveCont()));
        row->setText(5, TripValue(Automation->get_TripMaxSpeed()));
        const double averageSpeed = Automation->get_TripAverSpeed();
        row->setText(6, averageSpeed < 0 ? QStringLiteral("-") : TripValue(averageSpeed));
        row->setText(7, TripValue(Automation->get_TripDistance() * 0.001));
        row->setText(8, TripValue(Automation->get_TripTank1StartLevel()));
        row->setText(9, TripValue(Automation->get_TripTank1EndLevel()));
        row->setText(10, TripValue(Automation->get_TripTank2StartLevel()));
        row->setText(11, TripValue(Automation->get_TripTank2EndLevel()));
        row->setText(12, TripValue(Automation->get_TripMotor1Hours()));
        row->setText(13, TripValue(Automation->get_TripMotor2Hours()));
        row->setText(14, TripValue(Automation->get_TripMotor1Fuel()));
        row->setText(15, TripValue(Automation->get_TripMotor2Fuel()));
    }

    if (choice != 0) {
        Automation->set_TripIndex(static_cast<LONG>(choice));
        QTreeWidgetItem* row = TripsListView->topLevelItem(static_cast<int>(choice - 1));
        // The focus mark first, then the selection, whose handler sets the export button as a click would.
        TripsListView->setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
        TripsListView->selectionModel()->select(TripsListView->indexFromItem(row),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        TripsListView->scrollToItem(row, QAbstractItemView::EnsureVisible);
    } else {
        ExportToFileButton->setEnabled(false);
    }
    EntriesTypeBox->setEnabled(choice != 0);
    EntriesButton->setEnabled(choice != 0);
}

void TMainForm::TripsListViewSelectItem(QObject*, QTreeWidgetItem* Item, bool Selected) {
    if (!Selected || !Item || !Automation)
        return;
    Automation->set_TripIndex(static_cast<LONG>(Item->data(0, Qt::UserRole).toInt()));
    ExportToFileButton->setEnabled(Automation->get_TripCrdEntriesNum() != 0);
}
