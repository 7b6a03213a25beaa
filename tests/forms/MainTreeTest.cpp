// The groups tree against the fake: node texts and order, the selection kept across rebuilds, what a selected
// node shows, and rebuilds that fail or arrive during a rebuild.
#include "tests/forms/TreeFixture.h"

#include <QCoreApplication>
#include <QFrame>

namespace {

using TreeTest = TreeFixture;

std::vector<QString> TopTexts(QTreeWidget* tree) {
    std::vector<QString> texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts.push_back(tree->topLevelItem(i)->text(0));
    return texts;
}

std::vector<QString> ChildTexts(QTreeWidgetItem* node) {
    std::vector<QString> texts;
    for (int i = 0; i < node->childCount(); ++i)
        texts.push_back(node->child(i)->text(0));
    return texts;
}

int Data(QTreeWidgetItem* node) {
    return node->data(0, Qt::UserRole).toInt();
}

void RaiseChangeCarsLists(FakeAutomation& fake) {
    fake.RaiseEvent(DISPID_OnChangeCarsLists);
}

} // namespace

TEST_F(TreeTest, NodesAreSortedByTextAndCarryTheirServerPositions) {
    Connect();
    ASSERT_EQ(TopTexts(Form->GroupsList), (std::vector<QString>{"Автобусы", "Москва", "Пустая"}));
    EXPECT_EQ(Data(Node("Автобусы")), 3);
    EXPECT_EQ(Data(Node("Москва")), 1);
    EXPECT_EQ(Data(Node("Пустая")), 2);
    EXPECT_EQ(ChildTexts(Node("Москва")), (std::vector<QString>{"0000005", "ГАЗель - А123ВС", "КамАЗ"}));
    EXPECT_EQ(Data(Node("Москва", "0000005")), 3);
    EXPECT_EQ(Data(Node("Москва", "ГАЗель - А123ВС")), 2);
    EXPECT_EQ(Data(Node("Москва", "КамАЗ")), 1);
    EXPECT_EQ(Node("Пустая")->childCount(), 0);
}

TEST_F(TreeTest, VehicleWithoutModelReadsItsDeviceNumberWhateverItsNumber) {
    Fake->SetFleet({Group("Г", "g.grp", {Car(1234, "", "А001АА"), Car(12345678, "", ""), Car(7, "Нива", "")})});
    Connect();
    EXPECT_EQ(ChildTexts(Node("Г")), (std::vector<QString>{"0001234", "12345678", "Нива"}));
}

TEST_F(TreeTest, GroupNodesAreBoldAndVehicleNodesAreNot) {
    Connect();
    for (int g = 0; g < Form->GroupsList->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = Form->GroupsList->topLevelItem(g);
        EXPECT_TRUE(group->font(0).bold()) << group->text(0).toStdString();
        for (int v = 0; v < group->childCount(); ++v)
            EXPECT_FALSE(group->child(v)->font(0).bold()) << group->child(v)->text(0).toStdString();
    }
}

TEST_F(TreeTest, AtFirstConnectNothingIsSelectedAndBothPanelsAreHidden) {
    Connect();
    EXPECT_EQ(Form->GroupsList->currentItem(), nullptr);
    EXPECT_TRUE(Form->GroupInfoPanel->isHidden());
    EXPECT_TRUE(Form->InfoPanel->isHidden());
    EXPECT_EQ(Form->GroupsComboBox->Text(), "");
    EXPECT_EQ(Form->CarsComboBox->Text(), "");
}

TEST_F(TreeTest, ServerWithoutGroupsGivesAnEmptyTree) {
    Fake->SetFleet({});
    Connect();
    EXPECT_EQ(Form->GroupsList->topLevelItemCount(), 0);
    EXPECT_TRUE(Form->GroupInfoPanel->isHidden());
    EXPECT_TRUE(Form->InfoPanel->isHidden());
    EXPECT_TRUE(TMainFormTestAccess::ChangeHandlerAttached(*Form));
}

TEST_F(TreeTest, WhileNothingIsRememberedTheLastGroupWithoutFileIsSelected) {
    Fake->SetFleet({Group("Б", "", {}), Group("А", "", {}), Group("В", "v.grp", {})});
    Connect();
    ASSERT_NE(Form->GroupsList->currentItem(), nullptr);
    EXPECT_EQ(Form->GroupsList->currentItem()->text(0), "А");
    EXPECT_FALSE(Form->GroupInfoPanel->isHidden());
    EXPECT_TRUE(Form->InfoPanel->isHidden());
}

TEST_F(TreeTest, SelectingAGroupShowsItsPanelAndPutsItsFileIntoTheInput) {
    Connect();
    Form->CarsComboBox->SetText("0000042");
    Select(Node("Москва"));
    EXPECT_FALSE(Form->GroupInfoPanel->isHidden());
    EXPECT_TRUE(Form->InfoPanel->isHidden());
    EXPECT_EQ(Form->GroupsComboBox->Text(), "moscow.grp");
    EXPECT_EQ(Form->CarsComboBox->Text(), "");
    EXPECT_EQ(Form->SelectedGroupFile, "moscow.grp");
    EXPECT_EQ(Form->SelectedDevice, 0);
}

TEST_F(TreeTest, SelectingAVehicleShowsItsPanelsAndFillsBothInputs) {
    Connect();
    Select(Node("Москва", "ГАЗель - А123ВС"));
    EXPECT_FALSE(Form->InfoPanel->isHidden());
    EXPECT_TRUE(Form->GroupInfoPanel->isHidden());
    EXPECT_EQ(Form->GroupsComboBox->Text(), "moscow.grp");
    EXPECT_EQ(Form->CarsComboBox->Text(), "0001234");
    EXPECT_EQ(Form->SelectedGroupFile, "moscow.grp");
    EXPECT_EQ(Form->SelectedDevice, 1234);
}

TEST_F(TreeTest, RebuildCallsTheServerInCursorOrder) {
    Fake->SetFleet({Group("Б", "b.grp", {Car(7, "М", "Н"), Car(8, "", "Н")}), Group("А", "a.grp", {})});
    Connect();
    Fake->ClearCalls();
    TMainFormTestAccess::FillGroupsList(*Form);
    EXPECT_EQ(Fake->Calls(), (std::vector<std::string>{
                                 "WaitForInitializing()",
                                 "get_GroupsNum",
                                 "set_GroupIndex(1)",
                                 "get_GroupName",
                                 "get_GroupFileName",
                                 "get_GroupCarsNum",
                                 "set_CarIndex(1)",
                                 "get_CarModel",
                                 "get_CarNumber",
                                 "set_CarIndex(2)",
                                 "get_CarModel",
                                 "get_CarDevice",
                                 "set_GroupIndex(2)",
                                 "get_GroupName",
                                 "get_GroupFileName",
                                 "get_GroupCarsNum",
                             }));
}

TEST_F(TreeTest, RebuildWithARememberedVehicleReadsDevicesOfItsGroupOnlyThenFillsThePanels) {
    Fake->SetFleet({Group("Б", "b.grp", {Car(7, "М", "Н")}), Group("А", "a.grp", {Car(9, "К", "")})});
    Connect();
    Select(Node("А", "К"));
    Fake->ClearCalls();
    TMainFormTestAccess::FillGroupsList(*Form);
    const std::vector<std::string>& calls = Fake->Calls();
    // Reads of the device: the match in group А, the device panel, the inputs row and the vehicle input.
    EXPECT_EQ(Fake->CallsOf("get_CarDevice").size(), 4u);
    ASSERT_GT(calls.size(), 18u);
    const std::vector<std::string> head(calls.begin(), calls.begin() + 16);
    EXPECT_EQ(head,
              (std::vector<std::string>{"WaitForInitializing()", "get_GroupsNum", "set_GroupIndex(1)", "get_GroupName",
                                        "get_GroupFileName", "get_GroupCarsNum", "set_CarIndex(1)", "get_CarModel",
                                        "get_CarNumber", "set_GroupIndex(2)", "get_GroupName", "get_GroupFileName",
                                        "get_GroupCarsNum", "set_CarIndex(1)", "get_CarModel", "get_CarNumber"}));
    EXPECT_EQ(calls[16], "get_CarDevice");
    EXPECT_EQ(calls[17], "set_GroupIndex(2)"); // the device panel of the restored selection
    EXPECT_EQ(calls[calls.size() - 2], "get_GroupFileName");
    EXPECT_EQ(calls.back(), "get_CarDevice");
}

TEST_F(TreeTest, NegativeCountsAreTakenAsNone) {
    Fake->OnCall("get_GroupCarsNum", [](std::vector<FakeValue>&, FakeValue& value) {
        value = LONG{-3};
        return true;
    });
    Connect();
    EXPECT_EQ(Form->GroupsList->topLevelItemCount(), 3);
    EXPECT_EQ(Node("Москва")->childCount(), 0);
    EXPECT_TRUE(Fake->CallsOf("set_CarIndex").empty());

    Fake->OnCall("get_GroupsNum", [](std::vector<FakeValue>&, FakeValue& value) {
        value = LONG{-1};
        return true;
    });
    Fake->ClearCalls();
    RaiseChangeCarsLists(*Fake.get());
    EXPECT_EQ(Form->GroupsList->topLevelItemCount(), 0);
    EXPECT_TRUE(Fake->CallsOf("set_GroupIndex").empty());
}

// --- The selection across rebuilds ---

using TreeRestoreTest = TreeFixture;

TEST_F(TreeRestoreTest, VehicleThatMovedIsSelectedAgain) {
    Connect();
    Select(Node("Москва", "ГАЗель - А123ВС"));
    auto& cars = Fake->Fleet()[0].cars;
    cars.erase(cars.begin()); // 1234 moves from position 2 to 1
    cars.push_back(Car(4321, "УАЗ", ""));
    RaiseChangeCarsLists(*Fake.get());

    QTreeWidgetItem* selected = Form->GroupsList->currentItem();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(selected->text(0), "ГАЗель - А123ВС");
    EXPECT_EQ(Data(selected), 1);
    EXPECT_TRUE(selected->isSelected());
    EXPECT_TRUE(selected->parent()->isExpanded());
    EXPECT_FALSE(Node("Автобусы")->isExpanded());
    EXPECT_FALSE(Form->InfoPanel->isHidden());
    EXPECT_EQ(Value(Form->InfoListView, 0), "0001234");
    EXPECT_EQ(Form->CarsComboBox->Text(), "0001234");
}

TEST_F(TreeRestoreTest, GroupFileIsMatchedIgnoringCase) {
    Connect();
    Select(Node("Москва", "КамАЗ"));
    std::get<std::string>(Fake->Fleet()[0].fields["GroupFileName"]) = "MOSCOW.GRP";
    RaiseChangeCarsLists(*Fake.get());
    ASSERT_NE(Form->GroupsList->currentItem(), nullptr);
    EXPECT_EQ(Form->GroupsList->currentItem()->text(0), "КамАЗ");
    EXPECT_EQ(Form->GroupsComboBox->Text(), "MOSCOW.GRP");
}

TEST_F(TreeRestoreTest, VehicleThatVanishedLeavesItsGroupSelected) {
    Connect();
    Select(Node("Москва", "ГАЗель - А123ВС"));
    auto& cars = Fake->Fleet()[0].cars;
    cars.erase(cars.begin() + 1);
    RaiseChangeCarsLists(*Fake.get());

    ASSERT_NE(Form->GroupsList->currentItem(), nullptr);
    EXPECT_EQ(Form->GroupsList->currentItem()->text(0), "Москва");
    EXPECT_FALSE(Form->GroupInfoPanel->isHidden());
    EXPECT_TRUE(Form->InfoPanel->isHidden());
    EXPECT_EQ(Form->CarsComboBox->Text(), "");
    EXPECT_EQ(Form->SelectedDevice, 0);
    EXPECT_EQ(Form->SelectedGroupFile, "moscow.grp");
}

TEST_F(TreeRestoreTest, SelectedGroupStaysSelectedBesideAVehicleNumberedZero) {
    Fake->Fleet()[0].cars.push_back(Car(0, "", ""));
    Connect();
    Select(Node("Москва"));
    RaiseChangeCarsLists(*Fake.get());
    ASSERT_NE(Form->GroupsList->currentItem(), nullptr);
    EXPECT_EQ(Form->GroupsList->currentItem()->text(0), "Москва");
    EXPECT_TRUE(Form->CarsComboBox->Text().isEmpty());

    // The vehicle numbered 0 itself is remembered like any other.
    Select(Node("Москва", "0000000"));
    RaiseChangeCarsLists(*Fake.get());
    ASSERT_NE(Form->GroupsList->currentItem(), nullptr);
    EXPECT_EQ(Form->GroupsList->currentItem()->text(0), "0000000");
    EXPECT_EQ(Form->CarsComboBox->Text(), "0000000");
}

TEST_F(TreeRestoreTest, GroupThatVanishedLeavesNothingSelected) {
    Connect();
    Select(Node("Москва", "ГАЗель - А123ВС"));
    Fake->Fleet().erase(Fake->Fleet().begin());
    RaiseChangeCarsLists(*Fake.get());

    EXPECT_EQ(Form->GroupsList->currentItem(), nullptr);
    EXPECT_TRUE(Form->GroupInfoPanel->isHidden());
    EXPECT_TRUE(Form->InfoPanel->isHidden());
    EXPECT_EQ(Form->GroupsComboBox->Text(), "");
    EXPECT_EQ(Form->CarsComboBox->Text(), "");
    EXPECT_EQ(Form->SelectedGroupFile, "");
}

// --- Rebuilds that fail or overlap ---

using TreeRebuildTest = TreeFixture;

TEST_F(TreeRebuildTest, RebuildRequestedDuringARebuildRunsOnceItHasEnded) {
    Connect();
    int raised = 0;
    Fake->OnCall("get_GroupsNum", [&](std::vector<FakeValue>&, FakeValue&) {
        if (raised++ == 0)
            Fake->RaiseEvent(DISPID_OnChangeCarsLists);
        return false;
    });
    Fake->ClearCalls();
    RaiseChangeCarsLists(*Fake.get());
    EXPECT_EQ(raised, 1);
    EXPECT_EQ(Fake->CallsOf("WaitForInitializing").size(), 1u);
    EXPECT_EQ(Form->GroupsList->topLevelItemCount(), 3);
    // The request waited for the rebuild in progress; the event loop then delivers it.
    QCoreApplication::processEvents();
    EXPECT_EQ(Fake->CallsOf("WaitForInitializing").size(), 2u);
    EXPECT_EQ(Form->GroupsList->topLevelItemCount(), 3);
    EXPECT_TRUE(TMainFormTestAccess::ChangeHandlerAttached(*Form));
}

TEST_F(TreeRebuildTest, FailedServerCallKeepsTheNodesSoFarAndLeavesTheTreeWorking) {
    Connect();
    Select(Node("Москва", "ГАЗель - А123ВС"));
    Fake->Fail("get_GroupCarsNum", E_FAIL);
    UiSeam::Reset();
    UiSeam::SetNextAnswer(IDYES); // the failure prompt: raise the error
    RaiseChangeCarsLists(*Fake.get());

    ASSERT_FALSE(UiSeam::ShownBoxes().empty());
    EXPECT_EQ(UiSeam::LastShown().flags & MB_ICONMASK, MB_ICONERROR);
    ASSERT_EQ(Form->GroupsList->topLevelItemCount(), 1);
    EXPECT_EQ(Form->GroupsList->topLevelItem(0)->text(0), "Москва");
    EXPECT_EQ(Form->GroupsList->topLevelItem(0)->childCount(), 0);
    EXPECT_TRUE(Form->GroupsList->updatesEnabled());
    EXPECT_TRUE(TMainFormTestAccess::ChangeHandlerAttached(*Form));

    // The next change of the lists rebuilds the tree in full and restores the remembered vehicle.
    Fake->Fail("get_GroupCarsNum", S_OK);
    RaiseChangeCarsLists(*Fake.get());
    EXPECT_EQ(Form->GroupsList->topLevelItemCount(), 3);
    ASSERT_NE(Form->GroupsList->currentItem(), nullptr);
    EXPECT_EQ(Form->GroupsList->currentItem()->text(0), "ГАЗель - А123ВС");

    // And a selection by the user reaches the panels again.
    Select(Node("Пустая"));
    EXPECT_FALSE(Form->GroupInfoPanel->isHidden());
    EXPECT_EQ(Form->GroupsComboBox->Text(), "empty.grp");
}

TEST_F(TreeRebuildTest, FailingPanelFillAfterTheRebuildStillReattachesTheHandler) {
    Connect();
    Select(Node("Москва", "ГАЗель - А123ВС"));
    Fake->Fleet()[0].cars[1]["CarParkTime"] = std::string("не время");
    RaiseChangeCarsLists(*Fake.get());
    EXPECT_EQ(UiSeam::LastShown().text, "'не время' is not a valid time");
    EXPECT_TRUE(TMainFormTestAccess::ChangeHandlerAttached(*Form));
    EXPECT_TRUE(Form->GroupsList->updatesEnabled());
    EXPECT_TRUE(Form->OnlineListView->updatesEnabled());
}

TEST_F(TreeRebuildTest, DisconnectEmptiesTheTreeAndForgetsTheSelection) {
    Connect();
    Select(Node("Москва", "ГАЗель - А123ВС"));
    Form->DisconnectButtonClick();
    EXPECT_EQ(Form->GroupsList->topLevelItemCount(), 0);
    EXPECT_TRUE(Form->InfoPanel->isHidden());
    EXPECT_EQ(Form->SelectedGroupFile, "");
    EXPECT_EQ(Form->SelectedDevice, 0);
    // With nothing remembered, the next connect selects nothing.
    Connect();
    EXPECT_EQ(Form->GroupsList->currentItem(), nullptr);
}
