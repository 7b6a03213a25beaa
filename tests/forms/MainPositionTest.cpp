// The vehicle inputs and position commands against the fake: what the commands pass, the drop-down lists, the
// conversion error of a bad device number and the shapes of the current position message.
#include "tests/forms/TreeFixture.h"
#include "tests/support/ParamName.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace {

class PositionTest : public TreeFixture {
protected:
    void SetUp() override {
        TreeFixture::SetUp();
        Connect();
        UiSeam::Reset();
        Fake->ClearCalls();
    }

    void Type(TComboBox* box, const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box->lineEdit(), &press);
        }
    }

    std::vector<std::pair<QString, int>> Items(TComboBox* box) const {
        std::vector<std::pair<QString, int>> items;
        for (int i = 0; i < box->count(); ++i)
            items.emplace_back(box->itemText(i), box->itemData(i).toInt());
        return items;
    }
};

} // namespace

TEST_F(PositionTest, InputsAreSortedShowSixteenRowsAndLimitTypingOfTheDevice) {
    EXPECT_TRUE(Form->GroupsComboBox->Sorted());
    EXPECT_TRUE(Form->CarsComboBox->Sorted());
    EXPECT_EQ(Form->GroupsComboBox->maxVisibleItems(), 16);
    EXPECT_EQ(Form->CarsComboBox->maxVisibleItems(), 16);
    EXPECT_TRUE(Form->GroupsComboBox->isEditable());
    EXPECT_TRUE(Form->CarsComboBox->isEditable());
    EXPECT_EQ(Form->GroupsComboBox->MaxLength(), 0);

    Type(Form->CarsComboBox, "1234567");
    EXPECT_EQ(Form->CarsComboBox->Text(), "12345");
    Form->CarsComboBox->SetText("0021999"); // texts set by the program keep their seven digits
    EXPECT_EQ(Form->CarsComboBox->Text(), "0021999");
}

TEST_F(PositionTest, SelectedVehicleGoesToTheServerWithoutLeadingZeros) {
    Select(Node("Москва", "ГАЗель - А123ВС"));
    Fake->ClearCalls();
    Form->LastPositionButton->click();
    Form->LastTrackButton->click();
    Form->OnlineDataButton->click();
    EXPECT_EQ(Fake->Calls(),
              (std::vector<std::string>{"GoToCarLastPosition(\"moscow.grp\", 1234)",
                                        "GoToCarLastTrack(\"moscow.grp\", 1234)", "ReceiveOnlineData(1234)"}));
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(PositionTest, TypedDeviceNumberWorksLikeTheSevenDigitText) {
    Form->GroupsComboBox->SetText("bus.grp");
    Type(Form->CarsComboBox, "30000");
    Form->LastTrackButton->click();
    EXPECT_EQ(Fake->Calls(), (std::vector<std::string>{"GoToCarLastTrack(\"bus.grp\", 30000)"}));
}

TEST_F(PositionTest, EmptyGroupFileIsPassedUnchecked) {
    Form->GroupsComboBox->SetText("");
    Form->CarsComboBox->SetText("7");
    Form->LastPositionButton->click();
    EXPECT_EQ(Fake->Calls(), (std::vector<std::string>{"GoToCarLastPosition(\"\", 7)"}));
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

class BadDeviceTest : public PositionTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BadDeviceTest, StopsEveryVehicleCommandBeforeAnyServerCall) {
    Form->GroupsComboBox->SetText("moscow.grp");
    Form->CarsComboBox->SetText(QString::fromUtf8(GetParam()));
    const std::string expected = std::string("'") + GetParam() + "' is not a valid integer value";
    for (QPushButton* button : {Form->LastPositionButton, Form->LastTrackButton, Form->OnlineDataButton}) {
        UiSeam::Reset();
        button->click();
        ASSERT_EQ(UiSeam::ShownBoxes().size(), 1u) << button->objectName().toStdString();
        EXPECT_EQ(UiSeam::LastShown().text.toStdString(), expected);
        EXPECT_EQ(UiSeam::LastShown().flags & MB_ICONMASK, MB_ICONERROR);
    }
    EXPECT_TRUE(Fake->Calls().empty());
}

INSTANTIATE_TEST_SUITE_P(, BadDeviceTest, ::testing::Values("", "12a", "номер", " 12", "99999999999"),
                         ParamValueName());

// --- Drop-down lists ---

TEST_F(PositionTest, GroupsDropDownListsTheFilesSortedWithTheirPositions) {
    Form->GroupsComboBox->SetText("typed.grp");
    Form->GroupsComboBox->showPopup();
    Form->GroupsComboBox->hidePopup();
    EXPECT_EQ(Items(Form->GroupsComboBox),
              (std::vector<std::pair<QString, int>>{{"bus.grp", 3}, {"empty.grp", 2}, {"moscow.grp", 1}}));
    EXPECT_EQ(Form->GroupsComboBox->Text(), "typed.grp");
    EXPECT_EQ(Fake->Calls(),
              (std::vector<std::string>{"get_GroupsNum", "set_GroupIndex(1)", "get_GroupFileName", "set_GroupIndex(2)",
                                        "get_GroupFileName", "set_GroupIndex(3)", "get_GroupFileName"}));
}

TEST_F(PositionTest, CarsDropDownListsTheDevicesOfTheTypedGroup) {
    Form->GroupsComboBox->SetText("moscow.grp");
    Form->CarsComboBox->SetText("123");
    Form->CarsComboBoxDropDown();
    EXPECT_EQ(Items(Form->CarsComboBox),
              (std::vector<std::pair<QString, int>>{{"0000005", 3}, {"0001234", 2}, {"0021999", 1}}));
    EXPECT_EQ(Form->CarsComboBox->Text(), "123");
    EXPECT_EQ(Fake->Calls().front(), "SetGroupIndexByFileName(\"moscow.grp\")");
    EXPECT_EQ(Fake->Calls()[1], "get_GroupCarsNum");

    // A refill replaces the entries.
    Form->GroupsComboBox->SetText("bus.grp");
    Form->CarsComboBoxDropDown();
    EXPECT_EQ(Items(Form->CarsComboBox), (std::vector<std::pair<QString, int>>{{"0030000", 1}}));
}

TEST_F(PositionTest, CarsDropDownForAFileThatNamesNoGroupListsWhatTheServerReports) {
    Fake->set_GroupIndex(3); // the server keeps its current group when the file names none
    Fake->ClearCalls();
    Form->GroupsComboBox->SetText("нет.grp");
    Form->CarsComboBoxDropDown();
    EXPECT_EQ(Fake->Calls().front(), "SetGroupIndexByFileName(\"нет.grp\")");
    EXPECT_EQ(Fake->Calls()[1], "get_GroupCarsNum");
    EXPECT_EQ(Items(Form->CarsComboBox), (std::vector<std::pair<QString, int>>{{"0030000", 1}}));
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());

    Fake->OnCall("get_GroupCarsNum", [](std::vector<FakeValue>&, FakeValue& value) {
        value = LONG{-4};
        return true;
    });
    Form->CarsComboBoxDropDown();
    EXPECT_EQ(Form->CarsComboBox->count(), 0);
}

TEST_F(PositionTest, DropDownsWhileDisconnectedEmptyTheListsAndCallNothing) {
    Form->GroupsComboBoxDropDown();
    ASSERT_GT(Form->GroupsComboBox->count(), 0);
    Form->DisconnectButtonClick();
    Fake->ClearCalls();
    Form->GroupsComboBox->SetText("kept.grp");
    Form->GroupsComboBox->AddItem("stale.grp", 1);
    Form->GroupsComboBoxDropDown();
    Form->CarsComboBoxDropDown();
    EXPECT_EQ(Form->GroupsComboBox->count(), 0);
    EXPECT_EQ(Form->GroupsComboBox->Text(), "kept.grp");
    EXPECT_TRUE(Fake->Calls().empty());
}

// --- Current position ---

struct CurrentCase {
    const char* time;
    double latitude;
    double longitude;
    double altitude;
    const char* message; // nullptr: nothing is shown
};

class CurrentPositionTest : public PositionTest, public ::testing::WithParamInterface<CurrentCase> {};

TEST_P(CurrentPositionTest, ShowsTheLinesThatHaveValues) {
    Fake->Set("CurrentTime", std::string(GetParam().time));
    Fake->Set("CurrentLatitude", GetParam().latitude);
    Fake->Set("CurrentLongitude", GetParam().longitude);
    Fake->Set("CurrentAltitude", GetParam().altitude);
    Form->CurrentPositionButton->click();
    EXPECT_EQ(Fake->Calls(), (std::vector<std::string>{"get_CurrentTime", "get_CurrentLatitude", "get_CurrentLongitude",
                                                       "get_CurrentAltitude"}));
    if (!GetParam().message) {
        EXPECT_TRUE(UiSeam::ShownBoxes().empty());
        return;
    }
    ASSERT_EQ(UiSeam::ShownBoxes().size(), 1u);
    EXPECT_EQ(UiSeam::LastShown().text.toStdString(), GetParam().message);
    EXPECT_EQ(UiSeam::LastShown().caption, "Позиция");
    EXPECT_EQ(UiSeam::LastShown().flags & MB_ICONMASK, 0u);
    EXPECT_EQ(UiSeam::LastShown().flags & MB_BUTTONMASK, MB_OK);
}

INSTANTIATE_TEST_SUITE_P(, CurrentPositionTest,
                         ::testing::Values(CurrentCase{"", -777, -777, -1000, nullptr},
                                           CurrentCase{"01.05.2009 12:00:00", 55.7558, 37.6173, -1000,
                                                       "01.05.2009 12:00:00\r\n37° 37,038’ вд, 55° 45,348’ сш"},
                                           CurrentCase{"", -777, 37.6173, 1234.5, "Высота: 1 234,5"},
                                           CurrentCase{"", 55.7558, -777, 5, "Высота:  5,0"},
                                           CurrentCase{"12:00", -55.7558, -37.6173, 123.4,
                                                       "12:00\r\n37° 37,038’ зд, 55° 45,348’ юш\r\nВысота:  123,4"},
                                           CurrentCase{"", 0, 0, -1000, "0° 00,000’ вд, 0° 00,000’ сш"}),
                         [](const ::testing::TestParamInfo<CurrentCase>& info) {
                             const CurrentCase& c = info.param;
                             return "Time_" + NamePart(c.time) + "_Lat_" + NamePart(c.latitude) + "_Lng_" +
                                    NamePart(c.longitude) + "_Alt_" + NamePart(c.altitude);
                         });
