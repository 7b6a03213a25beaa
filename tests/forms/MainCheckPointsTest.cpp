// The check point list page against the fake: the fill's calls and columns, which row it selects, the current
// check point, loading and saving by bare names, clearing, deleting and the states of Change and Delete.
#include "tests/forms/CheckPointsFixture.h"
#include "tests/support/ParamName.h"

#include "forms/Application.h"
#include "forms/Findcheckpoint.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QTemporaryDir>

namespace {

using Calls = std::vector<std::string>;

const std::vector<std::string> RowReads = {"get_CheckPointName",     "get_CheckPointAddress",   "get_CheckPointID",
                                           "get_CheckPointLatitude", "get_CheckPointLongitude", "get_CheckPointRadius"};

// The calls of a fill of n rows that selects row s.
Calls FillCalls(LONG n, LONG s) {
    Calls calls{"get_CheckPointsNum", "get_CheckPointIndex"};
    for (LONG i = 1; i <= n; ++i) {
        calls.push_back("set_CheckPointIndex(" + std::to_string(i) + ")");
        calls.insert(calls.end(), RowReads.begin(), RowReads.end());
    }
    if (s != 0) {
        // Once by the fill, once more by the selection handler.
        calls.push_back("set_CheckPointIndex(" + std::to_string(s) + ")");
        calls.push_back("set_CheckPointIndex(" + std::to_string(s) + ")");
    }
    return calls;
}

std::vector<FakeRecord> ThreePoints() {
    return {CheckPoint("Склад", 55.7558, 37.6173, 150), CheckPoint("Порт", -33.5, -70.25, -5),
            CheckPoint("Депо", 0.0, 0.0, 0)};
}

class CheckPointListTest : public CheckPointsFixture {};

} // namespace

// --- The fill ---

TEST_F(CheckPointListTest, FillReadsEveryRowInOrderAndSelectsTheCurrentOne) {
    SetPoints(ThreePoints(), 2);
    Fill();
    EXPECT_EQ(Fake->Calls(), FillCalls(3, 2));
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});
    EXPECT_EQ(Form->ChPListView->currentItem(), Row(1));
    LONG index = 0;
    Fake->get_CheckPointIndex(&index);
    EXPECT_EQ(index, 2);
    EXPECT_TRUE(Form->ChangeCheckPointButton->isEnabled());
    EXPECT_TRUE(Form->DeleteCheckPointButton->isEnabled());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(CheckPointListTest, RowsShowTheColumnsWithHemispheresOfTheSignAndTheirIndices) {
    SetPoints(ThreePoints(), 1);
    Fill();
    ASSERT_EQ(Rows(), 3);
    const auto texts = [this](int row) {
        QStringList t;
        for (int c = 0; c < 6; ++c)
            t << Row(row)->text(c);
        return t;
    };
    EXPECT_EQ(texts(0), (QStringList{"Склад", "ул. Склад", "id-Склад", "55° 45,348’ сш", "37° 37,038’ вд", "150"}));
    // Southern and western values show their absolute value with their own hemisphere; a negative radius keeps
    // its sign.
    EXPECT_EQ(texts(1), (QStringList{"Порт", "ул. Порт", "id-Порт", "33° 30,000’ юш", "70° 15,000’ зд", "-5"}));
    EXPECT_EQ(texts(2), (QStringList{"Депо", "ул. Депо", "id-Депо", "0° 00,000’ сш", "0° 00,000’ вд", "0"}));
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(Row(r)->data(0, Qt::UserRole).toInt(), r + 1);
}

TEST_F(CheckPointListTest, ColumnsHaveTheirCaptionsWidthsAndAlignment) {
    QTreeWidgetItem* header = Form->ChPListView->headerItem();
    const QStringList captions{"Название", "Адрес", "ID", "Широта", "Долгота", "Радиус"};
    const int widths[] = {128, 167, 100, 100, 100, 60};
    ASSERT_EQ(Form->ChPListView->columnCount(), 6);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(header->text(c), captions[c]);
        EXPECT_EQ(Form->ChPListView->columnWidth(c), widths[c]) << c;
    }
    SetPoints(ThreePoints(), 1);
    Fill();
    for (int c = 0; c < 6; ++c) {
        const Qt::Alignment expected = c >= 3 ? Qt::AlignRight : Qt::AlignLeft;
        const auto alignment = Qt::Alignment(Row(0)->data(c, Qt::TextAlignmentRole).toInt());
        const auto headerAlignment = Qt::Alignment(header->data(c, Qt::TextAlignmentRole).toInt());
        EXPECT_TRUE((alignment & Qt::AlignHorizontal_Mask) == expected ||
                    (alignment == Qt::Alignment() && (headerAlignment & Qt::AlignHorizontal_Mask) == expected))
            << c;
    }
}

TEST_F(CheckPointListTest, IndexZeroSelectsNothingAndLeavesTheServerOnTheLastRow) {
    Form->ChangeCheckPointButton->setEnabled(true);
    Form->DeleteCheckPointButton->setEnabled(true);
    SetPoints(ThreePoints(), 0);
    Fill();
    EXPECT_EQ(Fake->Calls(), FillCalls(3, 0));
    EXPECT_EQ(Rows(), 3);
    EXPECT_TRUE(SelectedRows().empty());
    EXPECT_FALSE(Form->ChangeCheckPointButton->isEnabled());
    EXPECT_FALSE(Form->DeleteCheckPointButton->isEnabled());
    LONG index = 0;
    Fake->get_CheckPointIndex(&index);
    EXPECT_EQ(index, 3);
}

class OutOfRangeIndexTest : public CheckPointListTest, public ::testing::WithParamInterface<LONG> {};

TEST_P(OutOfRangeIndexTest, SelectsTheLastRowAndMakesItCurrent) {
    SetPoints(ThreePoints(), GetParam());
    Fill();
    EXPECT_EQ(Fake->Calls(), FillCalls(3, 3));
    EXPECT_EQ(SelectedRows(), std::vector<int>{2});
    EXPECT_TRUE(Form->DeleteCheckPointButton->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(, OutOfRangeIndexTest, ::testing::Values(4, 1000, -1, -2147483647 - 1), ParamValueName());

TEST_F(CheckPointListTest, EmptyServerListEmptiesThePageAndDisablesChangeAndDelete) {
    SetPoints(ThreePoints(), 1);
    Fill();
    ASSERT_TRUE(Form->DeleteCheckPointButton->isEnabled());
    SetPoints({}, 0);
    Fill();
    EXPECT_EQ(Fake->Calls(), FillCalls(0, 0));
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(Form->ChangeCheckPointButton->isEnabled());
    EXPECT_FALSE(Form->DeleteCheckPointButton->isEnabled());
}

TEST_F(CheckPointListTest, NegativeCountShowsNothingAndSelectsNothing) {
    SetPoints(ThreePoints(), 2);
    Fake->OnCall("get_CheckPointsNum", [](std::vector<FakeValue>&, FakeValue& value) {
        value = LONG{-4};
        return true;
    });
    Form->DeleteCheckPointButton->setEnabled(true);
    Fill();
    EXPECT_EQ(Fake->Calls(), FillCalls(0, 0));
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(Form->DeleteCheckPointButton->isEnabled());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(CheckPointListTest, FailedReadKeepsTheRowsSoFarAndLaterFillsWork) {
    SetPoints(ThreePoints(), 1);
    Fake->Fail("get_CheckPointAddress", E_FAIL);
    Form->ClearCheckPointsButton->setEnabled(true);
    UiSeam::SetNextAnswer(IDYES); // the failure prompt raises the error
    Form->ClearCheckPointsButton->click();
    // The failure prompt ends the fill in the first row, which keeps its name.
    ASSERT_EQ(UiSeam::ShownBoxes().size(), 2u); // the prompt, then the standard error box
    EXPECT_EQ(UiSeam::LastShown().flags & MB_ICONMASK, MB_ICONERROR);
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Row(0)->text(0), "Склад");
    EXPECT_EQ(Fake->CallsOf("get_CheckPointRadius").size(), 0u);
    EXPECT_TRUE(Form->ChPListView->updatesEnabled());

    Fake->Fail("get_CheckPointAddress", S_OK);
    UiSeam::Reset();
    Fill();
    EXPECT_EQ(Rows(), 3);
    EXPECT_TRUE(Form->ChPListView->updatesEnabled());
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(CheckPointListTest, FillWithoutConnectionOnlyEmptiesTheList) {
    SetPoints(ThreePoints(), 1);
    Fill();
    Form->DisconnectButtonClick();
    ASSERT_EQ(Automation, nullptr);
    auto* stray = new QTreeWidgetItem(Form->ChPListView, QStringList{"x"});
    (void)stray;
    Form->ChangeCheckPointButton->setEnabled(true);
    Fake->ClearCalls();
    Fill();
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_TRUE(Form->ChangeCheckPointButton->isEnabled()); // the buttons keep their state
}

// --- Selection and the buttons' states ---

TEST_F(CheckPointListTest, SelectingARowMakesItCurrentAndDeselectingDoesNothing) {
    SetPoints(ThreePoints(), 0);
    Fill();
    Fake->ClearCalls();
    Form->ChPListView->setCurrentItem(Row(2));
    Form->ChPListView->setCurrentItem(Row(0));
    EXPECT_EQ(Fake->Calls(), (Calls{"set_CheckPointIndex(3)", "set_CheckPointIndex(1)"}));
    Fake->ClearCalls();
    Form->ChPListView->clearSelection();
    EXPECT_TRUE(Fake->Calls().empty());
    // Selecting never changes a button.
    EXPECT_FALSE(Form->DeleteCheckPointButton->isEnabled());
}

TEST_F(CheckPointListTest, ConnectingLeavesThePageEmptyAndChangeAndDeleteDisabled) {
    Form->DisconnectButtonClick();
    SetPoints(ThreePoints(), 1);
    Form->ConnectButton->click();
    ASSERT_NE(Automation, nullptr);
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(Fake->CallsOf("get_CheckPointsNum").empty());
    for (QPushButton* b : {Form->LoadChPFromFileButton, Form->SaveChPToFileButton, Form->ClearCheckPointsButton})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(Form->ChangeCheckPointButton->isEnabled());
    EXPECT_FALSE(Form->DeleteCheckPointButton->isEnabled());
}

// --- Clear and delete ---

TEST_F(CheckPointListTest, ClearEmptiesTheServerListAndThePage) {
    SetPoints(ThreePoints(), 1);
    Fill();
    Fake->OnCall("ClearCheckPoints", [this](std::vector<FakeValue>&, FakeValue&) {
        Fake->SetList("CheckPointsNum", "CheckPointIndex", {});
        return true;
    });
    Fake->ClearCalls();
    Form->ClearCheckPointsButton->click();
    Calls expected{"ClearCheckPoints()"};
    const Calls fill = FillCalls(0, 0);
    expected.insert(expected.end(), fill.begin(), fill.end());
    EXPECT_EQ(Fake->Calls(), expected);
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(Form->ChangeCheckPointButton->isEnabled());
    EXPECT_FALSE(Form->DeleteCheckPointButton->isEnabled());
}

TEST_F(CheckPointListTest, DeleteAsksNothingAndRefillsWhateverTheServerKeeps) {
    SetPoints(ThreePoints(), 2);
    Fill();
    Fake->OnCall("DeleteCheckPoint", [this](std::vector<FakeValue>&, FakeValue&) {
        Fake->SetList("CheckPointsNum", "CheckPointIndex", {CheckPoint("Склад", 1, 1, 1), CheckPoint("Депо", 2, 2, 2)});
        Fake->set_CheckPointIndex(2);
        return true;
    });
    Fake->ClearCalls();
    Form->DeleteCheckPointButton->click();
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
    ASSERT_FALSE(Fake->Calls().empty());
    EXPECT_EQ(Fake->Calls().front(), "DeleteCheckPoint()");
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Row(1)->text(0), "Депо");
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});
}

TEST_F(CheckPointListTest, DeletingTheOnlyCheckPointDisablesChangeAndDelete) {
    SetPoints({CheckPoint("Один", 1, 1, 1)}, 1);
    Fill();
    ASSERT_TRUE(Form->DeleteCheckPointButton->isEnabled());
    Fake->OnCall("DeleteCheckPoint", [this](std::vector<FakeValue>&, FakeValue&) {
        Fake->SetList("CheckPointsNum", "CheckPointIndex", {});
        return true;
    });
    Form->DeleteCheckPointButton->click();
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(Form->ChangeCheckPointButton->isEnabled());
    EXPECT_FALSE(Form->DeleteCheckPointButton->isEnabled());
}

// --- Load and save ---

class CheckPointFileTest : public CheckPointListTest {
protected:
    void SetUp() override {
        CheckPointListTest::SetUp();
        Fake->Set("WorkDirectory", std::string("/srv/навилокс"));
    }
};

TEST_F(CheckPointFileTest, LoadPassesTheBareNameThenSelectsTheFirstRow) {
    SetPoints({}, 0);
    Fake->OnCall("LoadChPFromFile", [this](std::vector<FakeValue>&, FakeValue&) {
        Fake->SetList("CheckPointsNum", "CheckPointIndex", ThreePoints());
        Fake->set_CheckPointIndex(3);
        return true;
    });
    Fake->ClearCalls();
    UiSeam::SetNextFile("/srv/навилокс/Points/Route 5.chp");
    Form->LoadChPFromFileButton->click();

    ASSERT_EQ(UiSeam::ShownBoxes().size(), 1u);
    EXPECT_EQ(UiSeam::LastShown().kind, UiSeam::TKind::FileDialog);
    EXPECT_EQ(UiSeam::LastShown().caption, "Загрузка файла контрольных точек");
    EXPECT_EQ(UiSeam::LastShown().text, ""); // the file name starts empty
    EXPECT_EQ(Form->LoadChPDialog->InitialDir, "/srv/навилокс/Points");

    // The server makes its third check point current (the fake records that too); the console goes back to the
    // first.
    Calls expected{"get_WorkDirectory", "LoadChPFromFile(\"Route 5\")", "set_CheckPointIndex(3)",
                   "set_CheckPointIndex(1)"};
    const Calls fill = FillCalls(3, 1);
    expected.insert(expected.end(), fill.begin(), fill.end());
    EXPECT_EQ(Fake->Calls(), expected);
    EXPECT_EQ(SelectedRows(), std::vector<int>{0});
    EXPECT_TRUE(Form->ChangeCheckPointButton->isEnabled());
}

TEST_F(CheckPointFileTest, LoadStripsOnlyTheLastExtension) {
    UiSeam::SetNextFile("/srv/навилокс/Points/a.b.chp");
    Form->LoadChPFromFileButton->click();
    EXPECT_EQ(Fake->CallsOf("LoadChPFromFile"), (Calls{"LoadChPFromFile(\"a.b\")"}));
}

TEST_F(CheckPointFileTest, AFilePickedOutsideTheServersFolderIsRefusedWithAMessage) {
    SetPoints(ThreePoints(), 2);
    Fill();
    for (QPushButton* button : {Form->LoadChPFromFileButton, Form->SaveChPToFileButton}) {
        for (const char* picked :
             {"/tmp/other/Moscow.chp", "/srv/навилокс/Moscow.chp", "/srv/навилокс/Points/sub/a.chp"}) {
            UiSeam::Reset();
            Fake->ClearCalls();
            UiSeam::SetNextFile(picked);
            button->click();
            EXPECT_EQ(Fake->Calls(), (Calls{"get_WorkDirectory"})) << picked;
            ASSERT_EQ(Messages().size(), 1u) << picked;
            EXPECT_NE(Messages()[0].find("/srv/навилокс/Points"), std::string::npos) << Messages()[0];
            EXPECT_EQ(UiSeam::LastShown().flags & MB_ICONMASK, MB_ICONWARNING);
        }
    }
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});
}
TEST_F(CheckPointFileTest, InitialFolderIsPlainConcatenation) {
    Fake->Set("WorkDirectory", std::string("/srv/work/"));
    Form->LoadChPDialog->FileName = "left over.chp";
    UiSeam::SetNextFileCancel();
    Form->LoadChPFromFileButton->click();
    EXPECT_EQ(Form->LoadChPDialog->InitialDir, "/srv/work//Points");
    EXPECT_EQ(UiSeam::LastShown().text, "");
}

TEST_F(CheckPointFileTest, CancelledDialogsSendNothingAndKeepTheList) {
    SetPoints(ThreePoints(), 2);
    Fill();
    Fake->ClearCalls();
    UiSeam::SetNextFileCancel();
    Form->LoadChPFromFileButton->click();
    UiSeam::SetNextFileCancel();
    Form->SaveChPToFileButton->click();
    EXPECT_EQ(Fake->Calls(), (Calls{"get_WorkDirectory", "get_WorkDirectory"}));
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});
}

TEST_F(CheckPointFileTest, SaveSendsTheBareNameAndLeavesListAndCurrentPointAlone) {
    SetPoints(ThreePoints(), 2);
    Fill();
    Fake->ClearCalls();
    UiSeam::SetNextFile("/srv/навилокс/Points/x.txt");
    Form->SaveChPToFileButton->click();
    UiSeam::SetNextFile("x"); // the dialog adds the default extension, the handler removes it
    Form->SaveChPToFileButton->click();
    EXPECT_EQ(Fake->Calls(),
              (Calls{"get_WorkDirectory", "SaveChPToFile(\"x\")", "get_WorkDirectory", "SaveChPToFile(\"x\")"}));
    EXPECT_EQ(UiSeam::LastShown().caption, "Сохранение файла контрольных точек");
    EXPECT_EQ(Form->SaveChPDialog->InitialDir, "/srv/навилокс/Points");
    EXPECT_TRUE(Form->SaveChPDialog->OverwritePrompt);
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});
}

TEST_F(CheckPointFileTest, FailedCommandsShowTheErrorWithItsCodeAndStopThere) {
    SetPoints(ThreePoints(), 2);
    Fill();
    Fake->Fail("LoadChPFromFile", E_FAIL);
    Fake->Fail("SaveChPToFile", E_ACCESSDENIED);
    Fake->Fail("ClearCheckPoints", E_FAIL);
    Fake->Fail("DeleteCheckPoint", E_FAIL);
    Fake->ClearCalls();
    UiSeam::SetNextFile("/srv/навилокс/Points/Bad.chp");
    Form->LoadChPFromFileButton->click();
    UiSeam::SetNextFile("/srv/навилокс/Points/Bad.chp");
    Form->SaveChPToFileButton->click();
    Form->ClearCheckPointsButton->click();
    Form->DeleteCheckPointButton->click();
    EXPECT_EQ(Fake->Calls(), (Calls{"get_WorkDirectory", "LoadChPFromFile(\"Bad\")", "get_WorkDirectory",
                                    "SaveChPToFile(\"Bad\")", "ClearCheckPoints()", "DeleteCheckPoint()"}));
    EXPECT_EQ(Messages(),
              (std::vector<std::string>{"Unspecified error (0x80004005)", "Access is denied (0x80070005)",
                                        "Unspecified error (0x80004005)", "Unspecified error (0x80004005)"}));
    EXPECT_EQ(UiSeam::LastShown().flags & MB_ICONMASK, MB_ICONERROR);
    EXPECT_EQ(UiSeam::LastShown().caption, Application->Title());
    EXPECT_EQ(SelectedRows(), std::vector<int>{1}) << "nothing was refilled";
}

TEST_F(CheckPointFileTest, ServerClosingWhileAFileDialogIsOpenMeansNothingIsSent) {
    SetPoints(ThreePoints(), 2);
    Fill();
    for (QPushButton* button : {Form->LoadChPFromFileButton, Form->SaveChPToFileButton}) {
        if (!Automation)
            Connect();
        UiSeam::Reset();
        UiSeam::SetWhileShown([this](const UiSeam::TShown& shown) {
            if (shown.kind == UiSeam::TKind::FileDialog)
                Fake->RaiseEvent(DISPID_OnCloseServer);
        });
        UiSeam::SetNextFile("/srv/навилокс/Points/Route.chp");
        Fake->ClearCalls();
        button->setEnabled(true);
        button->click();
        EXPECT_EQ(Automation, nullptr);
        EXPECT_TRUE(Fake->CallsOf("LoadChPFromFile").empty());
        EXPECT_TRUE(Fake->CallsOf("SaveChPToFile").empty());
        EXPECT_EQ(Messages().size(), 0u);
        EXPECT_EQ(Rows(), 0);
    }
}

// Saving into a real check point folder: the server writes <name>.chp there whatever the picked extension.
class CheckPointSaveTest : public CheckPointListTest {
protected:
    void SetUp() override {
        CheckPointListTest::SetUp();
        ASSERT_TRUE(m_work.isValid());
        ASSERT_TRUE(QDir(m_work.path()).mkdir("Points"));
        QFile existing(m_work.path() + "/Points/Route.chp");
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        Fake->Set("WorkDirectory", m_work.path().toStdString());
    }
    QString Points() const { return m_work.path() + "/Points/"; }

private:
    QTemporaryDir m_work;
};

TEST_F(CheckPointSaveTest, ReplacingAnExistingListOtherThanThePickedFileIsAskedFirst) {
    // Route.txt picked: the dialog asked about Route.txt, the server would replace Route.chp.
    UiSeam::SetNextFile(Points() + "Route.txt");
    UiSeam::SetNextAnswer(IDNO);
    Form->SaveChPToFileButton->click();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_NE(Messages()[0].find("Route.chp"), std::string::npos) << Messages()[0];
    EXPECT_EQ(UiSeam::LastShown().flags & MB_BUTTONMASK, MB_YESNO);
    EXPECT_TRUE(Fake->CallsOf("SaveChPToFile").empty());

    UiSeam::Reset();
    UiSeam::SetNextFile(Points() + "Route.txt");
    UiSeam::SetNextAnswer(IDYES);
    Form->SaveChPToFileButton->click();
    EXPECT_EQ(Fake->CallsOf("SaveChPToFile"), (Calls{"SaveChPToFile(\"Route\")"}));

    // Route.chp itself picked: the dialog has asked; a new name needs no question.
    UiSeam::Reset();
    Fake->ClearCalls();
    UiSeam::SetNextFile(Points() + "Route.chp");
    Form->SaveChPToFileButton->click();
    UiSeam::SetNextFile(Points() + "New.txt");
    Form->SaveChPToFileButton->click();
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Fake->CallsOf("SaveChPToFile"), (Calls{"SaveChPToFile(\"Route\")", "SaveChPToFile(\"New\")"}));
}

// --- The find dialog and the highlighted row ---

TEST_F(CheckPointListTest, AFindThatMovesTheCurrentCheckPointMovesTheHighlightToIt) {
    SetPoints(ThreePoints(), 1);
    Fill();
    Fake->Set("CurrentCheckPointIndex", LONG{3});
    TFindCheckPointForm::SetScript([](TFindCheckPointForm& dialog) {
        dialog.FindButton->click();
        dialog.OKButton->click();
    });
    Form->FindCheckPointButton->click();
    EXPECT_EQ(SelectedRows(), std::vector<int>{2});
    LONG current = 0;
    Fake->get_CheckPointIndex(&current);
    EXPECT_EQ(current, 3) << "the row Change and Delete act on";

    // A find of the highlighted point, or one without a match, leaves the list as it is.
    SetPoints(ThreePoints(), 3);
    Fill();
    for (const LONG found : {LONG{3}, LONG{0}}) {
        Fake->Set("CurrentCheckPointIndex", found);
        Fake->ClearCalls();
        Form->FindCheckPointButton->click();
        EXPECT_TRUE(Fake->CallsOf("get_CheckPointsNum").empty()) << found;
        EXPECT_EQ(SelectedRows(), std::vector<int>{2});
    }
    TFindCheckPointForm::SetScript(nullptr);
}
