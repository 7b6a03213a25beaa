// The trips list: its rows and number formats, which trip it selects after a fill, what a selection does to the
// server's current trip and the export button, and the fills that find no trips or no connection.
#include "tests/forms/ComputingFixture.h"
#include "tests/support/ParamName.h"

#include <QComboBox>
#include <QTreeWidget>

namespace {

using Calls = std::vector<std::string>;

FakeRecord Trip(const std::string& start, double distance, double averageSpeed, LONG crdEntries) {
    return FakeRecord{{"TripStartRealTime", start},  {"TripEndRealTime", "02.05.2009 18:30:00"},
                      {"TripRealCont", "10:30"},     {"TripMoveCont", "8:15"},
                      {"TripMaxSpeed", 1234.56},     {"TripAverSpeed", averageSpeed},
                      {"TripDistance", distance},    {"TripTank1StartLevel", 1.0},
                      {"TripTank1EndLevel", 2.04},   {"TripTank2StartLevel", 3.05},
                      {"TripTank2EndLevel", 0.0},    {"TripMotor1Hours", 5.5},
                      {"TripMotor2Hours", 6.0},      {"TripMotor1Fuel", 7.25},
                      {"TripMotor2Fuel", 1234567.0}, {"TripCrdEntriesNum", crdEntries}};
}

std::vector<FakeRecord> ThreeTrips() {
    return {Trip("01.05.2009 08:00:00", 12340.0, 55.0, 10), Trip("01.05.2009 12:00:00", 0.0, -1.0, 0),
            Trip("01.05.2009 16:00:00", 999.0, 0.0, 4)};
}

class TripsListTest : public ComputingFixture {
protected:
    void SetUp() override {
        ComputingFixture::SetUp();
        Connect();
        UiSeam::Reset();
    }

    // Fills the list from these trips with the server's current trip reported as `current`.
    void Fill(std::vector<FakeRecord> trips, LONG current) {
        Fake->SetList("TripsNum", "TripIndex", std::move(trips));
        Fake->set_TripIndex(current);
        Fake->ClearCalls();
        TMainFormTestAccess::FillTripsList(*Form);
    }

    QStringList RowTexts(int row) const {
        QStringList texts;
        const QTreeWidgetItem* item = Form->TripsListView->topLevelItem(row);
        for (int c = 0; c < Form->TripsListView->columnCount(); ++c)
            texts << item->text(c);
        return texts;
    }

    // The 1-based number of the one selected row, or 0.
    int SelectedRow() const {
        const QList<QTreeWidgetItem*> selected = Form->TripsListView->selectedItems();
        if (selected.size() != 1)
            return 0;
        return Form->TripsListView->indexOfTopLevelItem(selected[0]) + 1;
    }

    bool TripControlsEnabled() const { return Form->EntriesTypeBox->isEnabled() && Form->EntriesButton->isEnabled(); }
};

} // namespace

TEST_F(TripsListTest, ColumnsHaveTheirCaptionsWidthsAndAlignments) {
    const QStringList captions{"№",       "Начало", "Окончание", "Прод-сть общая", "Прод-сть движ.", "S макс.",
                               "S сред.", "Пробег", "НУТ1",      "КУТ1",           "НУТ2",           "КУТ2",
                               "МЧ1",     "МЧ2",    "Расход 1",  "Расход 2"};
    const int widths[] = {28, 120, 120, 100, 100, 60, 60, 60, 60, 60, 60, 60, 60, 60, 60, 60};
    ASSERT_EQ(Form->TripsListView->columnCount(), 16);
    Fill(ThreeTrips(), 1);
    const QTreeWidgetItem* header = Form->TripsListView->headerItem();
    const QTreeWidgetItem* row = Form->TripsListView->topLevelItem(0);
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(header->text(c), captions[c]) << c;
        EXPECT_EQ(Form->TripsListView->columnWidth(c), widths[c]) << c;
        // The number column reads from the left, every other one from the right; a cell without an alignment of
        // its own takes its column's.
        const Qt::Alignment expected = c == 0 ? Qt::AlignLeft : Qt::AlignRight;
        const auto cell = Qt::Alignment(row->data(c, Qt::TextAlignmentRole).toInt()) & Qt::AlignHorizontal_Mask;
        const auto column = Qt::Alignment(header->textAlignment(c)) & Qt::AlignHorizontal_Mask;
        EXPECT_EQ(cell ? cell : column, expected) << c;
    }
}

TEST_F(TripsListTest, RowsShowTheServersTextsAndNumbersInTheTripValueFormat) {
    Fill(ThreeTrips(), 1);

    ASSERT_EQ(Form->TripsListView->topLevelItemCount(), 3);
    ASSERT_EQ(Form->TripsListView->columnCount(), 16);
    const QString nbsp(QChar(0x00A0));
    EXPECT_EQ(RowTexts(0), (QStringList{"1", "01.05.2009 08:00:00", "02.05.2009 18:30:00", "10:30", "8:15",
                                        "1" + nbsp + "234,6", "55,0", "12,3", "1,0", "2,0", "3,1", "0,0", "5,5", "6,0",
                                        "7,3", "1" + nbsp + "234" + nbsp + "567,0"}));
    // A negative average speed has no value; zero is a value.
    EXPECT_EQ(RowTexts(1)[6], "-");
    EXPECT_EQ(RowTexts(1)[7], "0,0");
    EXPECT_EQ(RowTexts(2)[6], "0,0");
    EXPECT_EQ(RowTexts(2)[7], "1,0");
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(RowTexts(row)[0], QString::number(row + 1));
        EXPECT_EQ(Form->TripsListView->topLevelItem(row)->data(0, Qt::UserRole).toInt(), row + 1);
    }
}

TEST_F(TripsListTest, EachRowIsReadWithItsTripMadeCurrentFirst) {
    Fill(ThreeTrips(), 1);
    const Calls calls = Fake->Calls();
    const Calls writes = Fake->CallsOf("set_TripIndex");
    EXPECT_EQ(writes, (Calls{"set_TripIndex(1)", "set_TripIndex(2)", "set_TripIndex(3)", "set_TripIndex(1)",
                             "set_TripIndex(1)"}));
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0], "get_TripsNum");
    EXPECT_EQ(calls[1], "get_TripIndex");
    EXPECT_EQ(calls[2], "set_TripIndex(1)");
    EXPECT_EQ(calls[3], "get_TripStartRealTime");
    // After the rows: the choice is written, then the selection writes it again and reads the track points.
    EXPECT_EQ(Calls(calls.end() - 3, calls.end()),
              (Calls{"set_TripIndex(1)", "set_TripIndex(1)", "get_TripCrdEntriesNum"}));
}

struct Reselection {
    LONG reported;
    int row;
};

class TripsReselectionTest : public TripsListTest, public ::testing::WithParamInterface<Reselection> {};

TEST_P(TripsReselectionTest, SelectsTheServersTripOrTheNearestEndAndWritesItBack) {
    Fill(ThreeTrips(), GetParam().reported);

    const int row = GetParam().row;
    EXPECT_EQ(SelectedRow(), row);
    EXPECT_EQ(Form->TripsListView->currentItem(), Form->TripsListView->topLevelItem(row - 1));
    const Calls calls = Fake->Calls();
    const std::string write = "set_TripIndex(" + std::to_string(row) + ")";
    EXPECT_EQ(Calls(calls.end() - 3, calls.end()), (Calls{write, write, "get_TripCrdEntriesNum"}));
    LONG current = 0;
    Fake->get_TripIndex(&current);
    EXPECT_EQ(current, row);
    EXPECT_TRUE(TripControlsEnabled());
    // Trip 2 has no track points.
    EXPECT_EQ(Form->ExportToFileButton->isEnabled(), row != 2);
}

INSTANTIATE_TEST_SUITE_P(Reported, TripsReselectionTest,
                         ::testing::Values(Reselection{0, 1}, Reselection{1, 1}, Reselection{2, 2}, Reselection{3, 3},
                                           Reselection{7, 3}, Reselection{-1, 3}),
                         [](const ::testing::TestParamInfo<Reselection>& info) {
                             return NamePart(info.param.reported) + "_SelectsRow_" + NamePart(info.param.row);
                         });

TEST_F(TripsListTest, NoTripsGiveAnEmptyListWithoutSelectionAndTheTripControlsDisabled) {
    Fill(ThreeTrips(), 2);
    ASSERT_TRUE(TripControlsEnabled());
    ASSERT_FALSE(Form->ExportToFileButton->isEnabled());
    Fill(ThreeTrips(), 1);
    ASSERT_TRUE(Form->ExportToFileButton->isEnabled());

    Fill({}, 0);
    EXPECT_EQ(Form->TripsListView->topLevelItemCount(), 0);
    EXPECT_TRUE(Fake->CallsOf("set_TripIndex").empty());
    EXPECT_FALSE(Form->EntriesTypeBox->isEnabled());
    EXPECT_FALSE(Form->EntriesButton->isEnabled());
    EXPECT_FALSE(Form->ExportToFileButton->isEnabled());
}

TEST_F(TripsListTest, NegativeTripCountIsTakenAsNoTrips) {
    Fill(ThreeTrips(), 1);
    Fake->OnCall("get_TripsNum", [](std::vector<FakeValue>&, FakeValue& value) {
        value = LONG{-3};
        return true;
    });
    Fake->ClearCalls();
    TMainFormTestAccess::FillTripsList(*Form);
    EXPECT_EQ(Form->TripsListView->topLevelItemCount(), 0);
    EXPECT_TRUE(Fake->CallsOf("set_TripIndex").empty());
    EXPECT_FALSE(TripControlsEnabled());
    EXPECT_FALSE(Form->ExportToFileButton->isEnabled());
}

TEST_F(TripsListTest, SelectingATripMakesItCurrentAndSetsExportByItsTrackPoints) {
    Fill(ThreeTrips(), 1);
    Fake->ClearCalls();

    Form->TripsListView->setCurrentItem(Form->TripsListView->topLevelItem(1));
    EXPECT_EQ(Fake->Calls(), (Calls{"set_TripIndex(2)", "get_TripCrdEntriesNum"}));
    EXPECT_FALSE(Form->ExportToFileButton->isEnabled());
    EXPECT_TRUE(TripControlsEnabled());

    Fake->ClearCalls();
    Form->TripsListView->setCurrentItem(Form->TripsListView->topLevelItem(2));
    EXPECT_EQ(Fake->Calls(), (Calls{"set_TripIndex(3)", "get_TripCrdEntriesNum"}));
    EXPECT_TRUE(Form->ExportToFileButton->isEnabled());
    EXPECT_TRUE(TripControlsEnabled());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(TripsListTest, RemovingTheSelectionLeavesTheServerAndTheButtonsAsTheyWere) {
    Fill(ThreeTrips(), 3);
    Fake->ClearCalls();
    Form->TripsListView->clearSelection();
    EXPECT_EQ(SelectedRow(), 0);
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_TRUE(TripControlsEnabled());
    EXPECT_TRUE(Form->ExportToFileButton->isEnabled());
}

TEST_F(TripsListTest, ConnectingShowsTheTripsTheServerAlreadyHolds) {
    Form->DisconnectButtonClick();
    Fake->SetList("TripsNum", "TripIndex", ThreeTrips());
    Fake->set_TripIndex(2);
    Connect();
    EXPECT_EQ(Form->TripsListView->topLevelItemCount(), 3);
    EXPECT_EQ(SelectedRow(), 2);
    EXPECT_TRUE(TripControlsEnabled());
    EXPECT_FALSE(Form->ExportToFileButton->isEnabled());
}

TEST_F(TripsListTest, FillWhileDisconnectedOnlyEmptiesTheList) {
    Form->DisconnectButtonClick();
    // Controls as a fill must not touch them.
    Form->EntriesTypeBox->setEnabled(true);
    Form->EntriesButton->setEnabled(true);
    Form->ExportToFileButton->setEnabled(true);
    new QTreeWidgetItem(Form->TripsListView, QStringList{"1"});
    Fake->ClearCalls();

    TMainFormTestAccess::FillTripsList(*Form);
    EXPECT_EQ(Form->TripsListView->topLevelItemCount(), 0);
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_TRUE(TripControlsEnabled());
    EXPECT_TRUE(Form->ExportToFileButton->isEnabled());
    EXPECT_TRUE(Form->TripsListView->updatesEnabled());
}

TEST_F(TripsListTest, SelectionWhileDisconnectedCallsNothing) {
    Fill(ThreeTrips(), 1);
    auto* row = new QTreeWidgetItem(QStringList{"9"});
    row->setData(0, Qt::UserRole, 9);
    Form->DisconnectButtonClick();
    Form->TripsListView->addTopLevelItem(row);
    Fake->ClearCalls();
    Form->TripsListView->setCurrentItem(row);
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(TripsListTest, EndOfComputingRefillsTheList) {
    Fill(ThreeTrips(), 1);
    Fake->SetList("TripsNum", "TripIndex", {Trip("03.05.2009 10:00:00", 1.0, 1.0, 0)});
    Form->AutomationEndComputing(nullptr);
    ASSERT_EQ(Form->TripsListView->topLevelItemCount(), 1);
    EXPECT_EQ(Form->TripsListView->topLevelItem(0)->text(1), "03.05.2009 10:00:00");
    EXPECT_EQ(SelectedRow(), 1);
    EXPECT_FALSE(Form->ExportToFileButton->isEnabled());
}
