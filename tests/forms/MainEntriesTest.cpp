// The "Записи…" command against the fake: the list names written for each entry kind, the entries window's
// caption, columns and rows, its closing by Escape, and a fill that fails.
#include "tests/forms/EntriesFixture.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QTreeWidget>

#include <utility>

namespace {

using EntriesTest = EntriesFixture;

const std::string Nbsp = "\u00a0";

FakeRecord Entry(LONG id, const std::string& startName, double distance) {
    return {{"EntryID", id},
            {"EntryStartName", startName},
            {"EntryStartRealTime", std::string("01.05.2009 08:00:00")},
            {"EntryEndName", std::string("Склад")},
            {"EntryEndRealTime", std::string("01.05.2009 09:30:15")},
            {"EntryRealCont", std::string("1:30:15")},
            {"EntryDistance", distance},
            {"EntryTank1StartLevel", 1234.56},
            {"EntryTank1EndLevel", 0.04},
            {"EntryTank2StartLevel", -2.25},
            {"EntryTank2EndLevel", 3.0},
            {"EntryMotor1Hours", 4.44},
            {"EntryMotor2Hours", 5.55},
            {"EntryMotor1Fuel", 6.0},
            {"EntryMotor2Fuel", 1234567.0}};
}

std::vector<QString> RowTexts(const QTreeWidgetItem* row) {
    std::vector<QString> texts;
    for (int c = 0; c < row->columnCount(); ++c)
        texts.push_back(row->text(c));
    return texts;
}

void PressKey(QWidget* target, int key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
}

struct KindNames {
    int position;
    const char* item;
    const char* typeName;
    const char* kindName; // nullptr: the kind is not written
};

const KindNames AllKinds[] = {
    {0, "К. точки", "checkpoints", "points"},
    {1, "К. отрезки", "checkpoints", "stages"},
    {2, "Геозоны", "geozones", "zones"},
    {3, "Г. отрезки", "geozones", "stages"},
    {4, "Остановки", "parks", nullptr},
    {5, "Сигнал", "blinds", nullptr},
    {6, "Питание", "power_off", nullptr},
    {7, "Скорость", "over_speed", nullptr},
    {8, "Бак 1", "tank", "num1"},
    {9, "Бак 2", "tank", "num2"},
    {10, "Бак 3", "tank", "num3"},
    {11, "Бак 4", "tank", "num4"},
    {12, "Датчик 1", "sensor_on", "num1"},
    {13, "Датчик 2", "sensor_on", "num2"},
    {14, "Датчик 3", "sensor_on", "num3"},
    {15, "Датчик 4", "sensor_on", "num4"},
    {16, "Датчик 5", "sensor_on", "num5"},
    {17, "Датчик 6", "sensor_on", "num6"},
    {18, "Датчик 7", "sensor_on", "num7"},
    {19, "Датчик 8", "sensor_on", "num8"},
};

} // namespace

TEST_F(EntriesTest, EveryKindWritesItsTypeThenItsKindAndCaptionsTheWindowWithItsItem) {
    Connect();
    ASSERT_EQ(Form->EntriesTypeBox->count(), 20);
    for (const KindNames& kind : AllKinds) {
        SCOPED_TRACE(kind.item);
        Fake->ClearCalls();
        QString caption;
        ShowEntries(kind.position, [&](TPointsListForm& form) { caption = form.windowTitle(); });
        EXPECT_EQ(Form->EntriesTypeBox->itemText(kind.position).toStdString(), kind.item);
        EXPECT_EQ(caption.toStdString(), kind.item);
        std::vector<std::string> expected{std::string("set_TripEntriesListTypeName(\"") + kind.typeName + "\")"};
        if (kind.kindName)
            expected.push_back(std::string("set_TripEntriesListKindName(\"") + kind.kindName + "\")");
        EXPECT_EQ(Fake->CallsOf("set_TripEntriesList"), expected);
        // The names come first: the count is read after them.
        ASSERT_FALSE(Fake->Calls().empty());
        EXPECT_EQ(Fake->Calls().front(), expected.front());
    }
}

TEST_F(EntriesTest, SpeedAfterStagesKeepsTheStagesKindInTheServer) {
    Connect();
    ShowEntries(1);
    ShowEntries(7);
    EXPECT_EQ(Fake->String("TripEntriesListTypeName"), "over_speed");
    EXPECT_EQ(Fake->String("TripEntriesListKindName"), "stages");
}

TEST_F(EntriesTest, RowsShowTheEntryIdentifierTheServerTextsAndGroupedValues) {
    Fake->SetList("TripEntriesNum", "EntryIndex", {Entry(17, "Москва", 12340.0), Entry(-3, "", 999.0)});
    Connect();
    std::vector<std::vector<QString>> rows;
    std::vector<int> data;
    ShowEntries(0, [&](TPointsListForm& form) {
        for (int r = 0; r < form.PointsListView->topLevelItemCount(); ++r) {
            rows.push_back(RowTexts(form.PointsListView->topLevelItem(r)));
            data.push_back(form.PointsListView->topLevelItem(r)->data(0, Qt::UserRole).toInt());
        }
    });
    ASSERT_EQ(rows.size(), 2u);
    const QString n = QString::fromStdString(Nbsp);
    EXPECT_EQ(rows[0], (std::vector<QString>{"17", "Москва", "01.05.2009 08:00:00", "Склад", "01.05.2009 09:30:15",
                                             "1:30:15", "12,3", "1" + n + "234,6", "0,0", "-2,3", "3,0", "4,4", "5,6",
                                             "6,0", "1" + n + "234" + n + "567,0"}));
    // The caption is the server's identifier, not the position; the position is the row's data value.
    EXPECT_EQ(rows[1][0], "-3");
    EXPECT_EQ(rows[1][1], "");
    EXPECT_EQ(rows[1][6], "1,0");
    EXPECT_EQ(data, (std::vector<int>{1, 2}));
}

TEST_F(EntriesTest, EachEntryIsMadeCurrentBeforeItsPropertiesAreReadAndTheCountIsReadOnce) {
    Fake->SetList("TripEntriesNum", "EntryIndex", {Entry(1, "А", 0), Entry(2, "Б", 0), Entry(3, "В", 0)});
    Connect();
    ShowEntries(4);
    std::vector<std::string> order;
    for (const std::string& call : Fake->Calls())
        if (call == "get_TripEntriesNum" || call.rfind("set_EntryIndex", 0) == 0 || call == "get_EntryID" ||
            call == "get_EntryMotor2Fuel")
            order.push_back(call);
    EXPECT_EQ(order,
              (std::vector<std::string>{"get_TripEntriesNum", "set_EntryIndex(1)", "get_EntryID", "get_EntryMotor2Fuel",
                                        "set_EntryIndex(2)", "get_EntryID", "get_EntryMotor2Fuel", "set_EntryIndex(3)",
                                        "get_EntryID", "get_EntryMotor2Fuel"}));
    // Fifteen reads per entry, nothing else.
    EXPECT_EQ(Fake->CallsOf("get_Entry").size(), 45u);
}

TEST_F(EntriesTest, ListWithoutEntriesShowsAnEmptyWindow) {
    Fake->Set("TripEntriesNum", LONG{0});
    Connect();
    bool shown = false;
    int rows = -1;
    ShowEntries(2, [&](TPointsListForm& form) {
        shown = form.isVisible();
        rows = form.PointsListView->topLevelItemCount();
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(rows, 0);
    EXPECT_TRUE(Fake->CallsOf("set_EntryIndex").empty());
}

TEST_F(EntriesTest, NegativeCountIsTakenAsNoEntries) {
    Fake->Set("TripEntriesNum", LONG{-5});
    Connect();
    int rows = -1;
    ShowEntries(0, [&](TPointsListForm& form) { rows = form.PointsListView->topLevelItemCount(); });
    EXPECT_EQ(rows, 0);
    EXPECT_TRUE(Fake->CallsOf("set_EntryIndex").empty());
    EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(EntriesTest, WindowIsModalWithItsColumnsAndTheListFocused) {
    Connect();
    bool modal = false, focused = false, minimize = true, maximize = false;
    QSize client;
    std::vector<QString> captions;
    std::vector<int> widths;
    std::vector<bool> right;
    ShowEntries(0, [&](TPointsListForm& form) {
        modal = form.isModal() && QApplication::activeModalWidget() == &form;
        focused = form.focusWidget() == form.PointsListView;
        minimize = form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint);
        maximize = form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint);
        client = form.size();
        QTreeWidgetItem* header = form.PointsListView->headerItem();
        for (int c = 0; c < header->columnCount(); ++c) {
            captions.push_back(header->text(c));
            widths.push_back(form.PointsListView->columnWidth(c));
            right.push_back((header->textAlignment(c) & Qt::AlignRight) != 0);
        }
    });
    EXPECT_TRUE(modal);
    EXPECT_TRUE(focused);
    EXPECT_FALSE(minimize);
    EXPECT_TRUE(maximize);
    EXPECT_EQ(client, QSize(692, 232));
    EXPECT_EQ(captions,
              (std::vector<QString>{"№", "Начальная точка", "Начало", "Конечная точка", "Окончание", "Прод-сть общая",
                                    "Пробег", "НУТ1", "КУТ1", "НУТ2", "КУТ2", "МЧ1", "МЧ2", "Расход 1", "Расход 2"}));
    EXPECT_EQ(widths, (std::vector<int>{28, 120, 120, 120, 120, 100, 60, 60, 60, 60, 60, 60, 60, 60, 60}));
    EXPECT_EQ(right, (std::vector<bool>{false, false, true, false, true, true, true, true, true, true, true, true, true,
                                        true, true}));
}

TEST_F(EntriesTest, EscapeOnAFocusedRowClosesTheWindowAndTheNextClickBuildsANewOne) {
    Fake->SetList("TripEntriesNum", "EntryIndex", {Entry(1, "А", 0), Entry(2, "Б", 0)});
    Connect();
    QPointer<TPointsListForm> first;
    bool referenced = false, closedByEscape = false;
    ShowEntries(0, [&](TPointsListForm& form) {
        first = &form;
        referenced = PointsListForm == &form;
        form.PointsListView->setCurrentItem(form.PointsListView->topLevelItem(1));
        PressKey(form.PointsListView, Qt::Key_Escape, QString(QChar(27)));
        closedByEscape = !form.isVisible();
    });
    EXPECT_TRUE(referenced);
    EXPECT_TRUE(closedByEscape);
    // Destroyed by the click that made it.
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(PointsListForm, nullptr);

    int rows = 0;
    ShowEntries(0, [&](TPointsListForm& form) { rows = form.PointsListView->topLevelItemCount(); });
    EXPECT_EQ(rows, 2);
}

TEST_F(EntriesTest, OtherKeysAreLeftToTheList) {
    Fake->SetList("TripEntriesNum", "EntryIndex", {Entry(1, "А", 0), Entry(2, "Б", 0)});
    Connect();
    bool open = false;
    int current = -1;
    ShowEntries(0, [&](TPointsListForm& form) {
        form.PointsListView->setCurrentItem(form.PointsListView->topLevelItem(0));
        PressKey(form.PointsListView, Qt::Key_Down);
        PressKey(form.PointsListView, Qt::Key_A, "a");
        open = form.isVisible();
        current = form.PointsListView->indexOfTopLevelItem(form.PointsListView->currentItem());
    });
    EXPECT_TRUE(open);
    EXPECT_EQ(current, 1);
}

TEST_F(EntriesTest, EndOfComputingWhileTheWindowIsOpenLeavesItsRows) {
    Fake->SetList("TripEntriesNum", "EntryIndex", {Entry(5, "А", 0)});
    Connect();
    std::vector<QString> before, after;
    ShowEntries(0, [&](TPointsListForm& form) {
        before = RowTexts(form.PointsListView->topLevelItem(0));
        Fake->SetList("TripEntriesNum", "EntryIndex", {Entry(9, "Б", 0), Entry(10, "В", 0)});
        Fake->RaiseEvent(DISPID_OnEndComputing);
        QApplication::processEvents();
        ASSERT_EQ(form.PointsListView->topLevelItemCount(), 1);
        after = RowTexts(form.PointsListView->topLevelItem(0));
    });
    EXPECT_EQ(before, after);
    EXPECT_EQ(before.front(), "5");
}

TEST_F(EntriesTest, FailedReadEndsTheClickWithTheErrorAndShowsNoWindow) {
    Fake->SetList("TripEntriesNum", "EntryIndex", {Entry(1, "А", 0), Entry(2, "Б", 0)});
    Fake->Fail("get_EntryDistance", E_FAIL);
    Connect();
    UiSeam::SetNextAnswer(IDYES); // the failure prompt raises the error
    bool shown = false;
    ShowEntries(0, [&](TPointsListForm&) { shown = true; });
    EXPECT_FALSE(shown);
    EXPECT_EQ(PointsListForm, nullptr);
    EXPECT_EQ(ErrorBoxes().size(), 1u);
    // The fill stopped at the failing read of the first entry.
    EXPECT_EQ(Fake->CallsOf("set_EntryIndex"), (std::vector<std::string>{"set_EntryIndex(1)"}));
}
