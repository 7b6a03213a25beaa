// The group, device and online lists against the fake: their fixed rows, the values and read orders of the
// fills, the movement state and input rows, and what missing or malformed server values show.
#include "tests/forms/TreeFixture.h"
#include "tests/support/ParamName.h"

#include <QFrame>

namespace {

class PanelsTest : public TreeFixture {
protected:
    void SetUp() override {
        TreeFixture::SetUp();
        Connect();
        Select(Node("Москва", "ГАЗель - А123ВС"));
    }

    // The selected vehicle's record in the fake (position 2 of group 1).
    FakeRecord& SelectedCar() { return Fake->Fleet()[0].cars[1]; }

    // The server reports online data: the device and online lists of the selected vehicle are read again.
    void Refresh() { Fake->RaiseEvent(DISPID_OnReceiveOnlineData); }

    QString Online(int row) const { return Value(Form->OnlineListView, row); }
};

std::vector<QString> Captions(QTreeWidget* list) {
    std::vector<QString> captions;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        captions.push_back(list->topLevelItem(i)->text(0));
    return captions;
}

} // namespace

TEST_F(PanelsTest, ListsHaveTheirFixedRowsWithSeparatorsThatCannotBeSelected) {
    EXPECT_EQ(Captions(Form->GroupInfoListView),
              (std::vector<QString>{"Название", "Адрес", "Контактная информация", "Файл ТС", "Число ТС"}));
    EXPECT_EQ(Captions(Form->InfoListView),
              (std::vector<QString>{"Номер устройства", "", "Марка/Модель", "Номер ТС", "Маршрут", "Водители",
                                    "Отображаемое имя", "Номер телефона", "", "Контрольные точки", "Геозоны"}));
    EXPECT_EQ(Captions(Form->OnlineListView),
              (std::vector<QString>{"Источник данных", "Последняя запись", "Последняя точка", "Широта", "Долгота",
                                    "Направление", "Состояние", "", "Датчик 1", "Датчик 2", "Датчик 3", "Датчик 4",
                                    "Датчик 5", "Датчик 6", "Датчик 7", "Датчик 8"}));
    EXPECT_FALSE(Form->InfoListView->topLevelItem(1)->flags() & Qt::ItemIsSelectable);
    EXPECT_FALSE(Form->OnlineListView->topLevelItem(7)->flags() & Qt::ItemIsSelectable);
    EXPECT_TRUE(Form->OnlineListView->topLevelItem(6)->flags() & Qt::ItemIsSelectable);
    // Separators are never written.
    EXPECT_EQ(Value(Form->InfoListView, 1), "");
    EXPECT_EQ(Value(Form->InfoListView, 8), "");
    EXPECT_EQ(Online(7), "");
}

TEST_F(PanelsTest, GroupListShowsTheGroupReadInRowOrder) {
    Fake->ClearCalls();
    Select(Node("Москва"));
    EXPECT_EQ(Value(Form->GroupInfoListView, 0), "Москва");
    EXPECT_EQ(Value(Form->GroupInfoListView, 1), "ул. Лесная, 5");
    EXPECT_EQ(Value(Form->GroupInfoListView, 2), "+7 495 123-45-67");
    EXPECT_EQ(Value(Form->GroupInfoListView, 3), "moscow.grp");
    EXPECT_EQ(Value(Form->GroupInfoListView, 4), "3");
    EXPECT_EQ(Fake->Calls(),
              (std::vector<std::string>{"set_GroupIndex(1)", "get_GroupName", "get_GroupAddress", "get_GroupContacts",
                                        "get_GroupFileName", "get_GroupCarsNum", "get_GroupFileName"}));
}

TEST_F(PanelsTest, DeviceListShowsTheVehicleReadInRowOrder) {
    EXPECT_EQ(Value(Form->InfoListView, 0), "0001234");
    EXPECT_EQ(Value(Form->InfoListView, 2), "ГАЗель");
    EXPECT_EQ(Value(Form->InfoListView, 3), "А123ВС");
    EXPECT_EQ(Value(Form->InfoListView, 4), "Маршрут 7");
    EXPECT_EQ(Value(Form->InfoListView, 5), "Иванов, Петров");
    EXPECT_EQ(Value(Form->InfoListView, 6), "Борт 1234");
    EXPECT_EQ(Value(Form->InfoListView, 7), "+7 900 000-00-00");
    EXPECT_EQ(Value(Form->InfoListView, 9), "Moscow.chp");
    EXPECT_EQ(Value(Form->InfoListView, 10), "Zones.gz");

    Fake->ClearCalls();
    TMainFormTestAccess::FillDeviceInfo(*Form, Form->GroupsList->currentItem());
    EXPECT_EQ(Fake->Calls(),
              (std::vector<std::string>{"set_GroupIndex(1)", "set_CarIndex(2)", "get_CarDevice", "get_CarModel",
                                        "get_CarNumber", "get_CarRoute", "get_CarDrivers", "get_CarAlias",
                                        "get_CarTelNum", "get_CarCheckPointsFile", "get_CarGeoZonesFile"}));
}

TEST_F(PanelsTest, OnlineListShowsTheLastRecordsPositionCourseStateAndInputs) {
    EXPECT_EQ(Online(0), "GPRS");
    EXPECT_EQ(Online(1), "01.05.09 - 13:05:09");
    EXPECT_EQ(Online(2), "01.05.09 - 13:04:00");
    EXPECT_EQ(Online(3), "55° 45,348’ сш");
    EXPECT_EQ(Online(4), "37° 37,038’ вд");
    EXPECT_EQ(Online(5), "90,0° (3:00)");
    EXPECT_EQ(Online(6), "стоянка 5 мин");
    EXPECT_EQ(Online(8), "Включен");
    EXPECT_EQ(Online(9), "Включен");
    EXPECT_EQ(Online(10), "-");
}

TEST_F(PanelsTest, OnlineFillReadsInItsOrder) {
    SelectedCar()["CarParkTime"] = std::string("0:00:00");
    Fake->ClearCalls();
    TMainFormTestAccess::FillOnlineInfo(*Form, Form->GroupsList->currentItem());
    EXPECT_EQ(Fake->Calls(),
              (std::vector<std::string>{"set_GroupIndex(1)", "set_CarIndex(2)", "get_CarLastTime", "get_CarLastATime",
                                        "get_CarLatitude", "get_CarLongitude", "get_CarCourse", "get_CarParkTime",
                                        "get_CarSpeed", "get_CarFlags", "get_CarDevice"}));
}

TEST_F(PanelsTest, OnlineDataEventRefreshesDeviceThenOnlineList) {
    SelectedCar()["CarModel"] = std::string("Соболь");
    SelectedCar()["CarCourse"] = 45.3;
    Fake->ClearCalls();
    Refresh();
    EXPECT_EQ(Value(Form->InfoListView, 2), "Соболь");
    EXPECT_EQ(Online(5), "45,3° (1:31)");
    const std::vector<std::string>& calls = Fake->Calls();
    ASSERT_GE(calls.size(), 14u);
    EXPECT_EQ(calls[2], "get_CarDevice");    // the device list first
    EXPECT_EQ(calls[13], "get_CarLastTime"); // then the online list
}

TEST_F(PanelsTest, ParametersEventRefreshesTheDeviceListOnly) {
    SelectedCar()["CarGeoZonesFile"] = std::string("Other.gz");
    SelectedCar()["CarCourse"] = 45.3;
    Fake->RaiseEvent(DISPID_OnChangeParameters);
    EXPECT_EQ(Value(Form->InfoListView, 10), "Other.gz");
    EXPECT_EQ(Online(5), "90,0° (3:00)");
}

TEST_F(PanelsTest, EventsWithAGroupSelectedReadNothing) {
    Select(Node("Москва"));
    Fake->ClearCalls();
    Fake->RaiseEvent(DISPID_OnReceiveOnlineData);
    Fake->RaiseEvent(DISPID_OnChangeParameters);
    EXPECT_TRUE(Fake->Calls().empty());
}

TEST_F(PanelsTest, VehicleWithoutPositionShowsTimesAndInputsOnly) {
    SelectedCar()["CarLatitude"] = -777.0;
    Fake->ClearCalls();
    Refresh();
    EXPECT_EQ(Online(0), "GPRS");
    EXPECT_EQ(Online(1), "01.05.09 - 13:05:09");
    for (int row = 3; row <= 6; ++row)
        EXPECT_EQ(Online(row), "") << row;
    EXPECT_EQ(Online(8), "Включен");
    EXPECT_TRUE(Fake->CallsOf("get_CarLongitude").empty());
    EXPECT_TRUE(Fake->CallsOf("get_CarParkTime").empty());
}

TEST_F(PanelsTest, NegativeAnglesShowTheirHemispheres) {
    SelectedCar()["CarLatitude"] = -33.8688;
    SelectedCar()["CarLongitude"] = -151.2093;
    Refresh();
    EXPECT_EQ(Online(3), "33° 52,128’ юш");
    EXPECT_EQ(Online(4), "151° 12,558’ зд");
}

TEST_F(PanelsTest, UnparsableLastTimeLeavesItsRowEmptyAndTheRestFilled) {
    SelectedCar()["CarLastTime"] = std::string("вчера");
    Refresh();
    EXPECT_EQ(Online(1), "");
    EXPECT_EQ(Online(2), "01.05.09 - 13:04:00");
    EXPECT_EQ(Online(6), "стоянка 5 мин");
    EXPECT_EQ(Online(9), "Включен");
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(PanelsTest, UnreadableLastTimeLeavesItsRowEmptyWithoutAnErrorBox) {
    Fake->Fail("get_CarLastTime", E_FAIL);
    UiSeam::Reset();
    UiSeam::SetNextAnswer(IDYES); // the failure prompt raises the error
    Refresh();
    EXPECT_EQ(Online(1), "");
    EXPECT_EQ(Online(2), "01.05.09 - 13:04:00");
    EXPECT_EQ(Online(9), "Включен");
    for (const UiSeam::TShown& shown : UiSeam::ShownBoxes())
        EXPECT_NE(shown.flags & MB_ICONMASK, MB_ICONERROR) << shown.text.toStdString();
}

TEST_F(PanelsTest, UnparsableParkTimeEndsTheFillWithTheConversionError) {
    SelectedCar()["CarParkTime"] = std::string("долго");
    SelectedCar()["CarFlags"] = LONG{0};
    SelectedCar()["CarCourse"] = 45.3;
    UiSeam::Reset();
    Refresh();
    EXPECT_EQ(UiSeam::LastShown().text, "'долго' is not a valid time");
    EXPECT_EQ(UiSeam::LastShown().flags & MB_ICONMASK, MB_ICONERROR);
    EXPECT_EQ(Online(5), "45,3° (1:31)");  // rows before the state are written
    EXPECT_EQ(Online(6), "стоянка 5 мин"); // the rest keep their values
    EXPECT_EQ(Online(8), "Включен");
    EXPECT_TRUE(Form->OnlineListView->updatesEnabled());
}

TEST_F(PanelsTest, FillsWithoutANodeOrWhileDisconnectedEmptyTheValuesAndKeepTheCaptions) {
    TMainFormTestAccess::FillOnlineInfo(*Form, nullptr);
    TMainFormTestAccess::FillDeviceInfo(*Form, nullptr);
    TMainFormTestAccess::FillGroupInfo(*Form, nullptr);
    for (int row = 0; row < 16; ++row)
        EXPECT_EQ(Online(row), "") << row;
    for (int row = 0; row < 11; ++row)
        EXPECT_EQ(Value(Form->InfoListView, row), "") << row;
    EXPECT_EQ(Form->OnlineListView->topLevelItem(0)->text(0), "Источник данных");

    Select(Node("Москва", "КамАЗ"));
    Form->DisconnectButtonClick(); // hides the panels, keeps their values
    EXPECT_EQ(Value(Form->InfoListView, 0), "0021999");
    Fake->ClearCalls();
    auto* group = new QTreeWidgetItem(Form->GroupsList);
    TMainFormTestAccess::FillDeviceInfo(*Form, new QTreeWidgetItem(group));
    EXPECT_EQ(Value(Form->InfoListView, 0), "");
    EXPECT_TRUE(Fake->Calls().empty());
}

// --- The movement state row ---

struct StateCase {
    const char* parkTime;
    double speed;
    const char* expected;
};

class StateRowTest : public PanelsTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(StateRowTest, ShowsSpeedOrParkingDuration) {
    SelectedCar()["CarParkTime"] = std::string(GetParam().parkTime);
    SelectedCar()["CarSpeed"] = GetParam().speed;
    Refresh();
    EXPECT_EQ(Online(6).toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    , StateRowTest,
    ::testing::Values(StateCase{"0:00:00", 12.3, "скорость 12,3 км/ч"},
                      StateCase{"0:00:00", 1234.5, "скорость 1\u00a0234,5 км/ч"},
                      StateCase{"0:00:00", 0.0, "скорость 0,0 км/ч"}, StateCase{"0:00:00", -1.0, ""},
                      StateCase{"0:00:45", 0, "стоянка 45 с"}, StateCase{"0:04:30", 0, "стоянка 5 мин"},
                      StateCase{"0:59:30", 0, "стоянка 1:00 мин"}, StateCase{"1:00:00", 0, "стоянка 1:00 мин"},
                      StateCase{"1:00:01", 0, "стоянка > 1 ч"}, StateCase{"2:00:00", 50.0, "стоянка > 1 ч"}),
    [](const ::testing::TestParamInfo<StateCase>& info) {
        return "Park_" + NamePart(info.param.parkTime) + "_Speed_" + NamePart(info.param.speed);
    });

TEST_F(PanelsTest, OtherLocaleParsesAndShowsWithItsOwnSeparators) {
    TFormatSettings english = TFormatSettings::English();
    const TFormatSettingsScope scope(english);
    SelectedCar()["CarLastTime"] = std::string("5/1/2009 1:05:09 PM");
    SelectedCar()["CarParkTime"] = std::string("12:00:00 AM");
    SelectedCar()["CarSpeed"] = 1234.5;
    Refresh();
    EXPECT_EQ(Online(1), "01.05.09 - 13:05:09");
    EXPECT_EQ(Online(2), "01.05.09 - 13:04:00"); // a server in Russian regional settings
    EXPECT_EQ(Online(5), "90.0° (3:00)");        // the locale's decimal separator
    EXPECT_EQ(Online(6), "скорость 1,234.5 км/ч");
    EXPECT_EQ(Online(3), "55° 45,348’ сш"); // a fixed comma, not the locale's
}

// A server in other regional settings than the console's (another machine, or started by the bus without
// the user's environment) writes its own date form; the two record times must not come out empty.
TEST_F(PanelsTest, RecordTimesOfAServerInOtherRegionalSettingsAreShown) {
    SelectedCar()["CarLastTime"] = std::string("12/08/2026 14:00:00"); // the C locale: month first
    SelectedCar()["CarLastATime"] = std::string("2026-12-08 14:00");
    Refresh();
    EXPECT_EQ(Online(1), "08.12.26 - 14:00:00");
    EXPECT_EQ(Online(2), ""); // no form known to the console
    EXPECT_EQ(Online(6), "стоянка 5 мин");
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

// --- The input rows ---

struct InputsCase {
    LONG device;
    LONG flags;
    std::vector<const char*> rows; // rows 8 to 15
};

class InputRowsTest : public PanelsTest, public ::testing::WithParamInterface<InputsCase> {};

TEST_P(InputRowsTest, ShowTheFlagBitsOfTheDevice) {
    SelectedCar()["CarDevice"] = GetParam().device;
    SelectedCar()["CarFlags"] = GetParam().flags;
    Refresh();
    for (int row = 8; row <= 15; ++row)
        EXPECT_EQ(Online(row).toStdString(), GetParam().rows[row - 8]) << "row " << row;
}

namespace {
constexpr const char* On = "Включен";
constexpr const char* Off = "Выключен";
} // namespace

INSTANTIATE_TEST_SUITE_P(
    , InputRowsTest,
    ::testing::Values(InputsCase{21999, 3, {On, On, Off, Off, Off, Off, Off, Off}},
                      InputsCase{21998, 3, {On, On, "-", "-", "-", "-", "-", "-"}},
                      InputsCase{21999, -1, {"", "", "", "", "", "", "", ""}},
                      InputsCase{21998, -1, {"", "", "", "", "", "", "", ""}},
                      InputsCase{21999, 2, {On, Off, Off, Off, Off, Off, Off, Off}},
                      InputsCase{21999, 1, {Off, On, Off, Off, Off, Off, Off, Off}},
                      // Bits 2 and 3 are not shown; bits 4 to 9 are inputs 3 to 8.
                      InputsCase{30000, 0x0C | 0x10 | 0x40 | 0x200, {Off, Off, On, Off, On, Off, Off, On}},
                      InputsCase{30000, 0x3F0, {Off, Off, On, On, On, On, On, On}}),
    [](const ::testing::TestParamInfo<InputsCase>& info) {
        return "Device_" + NamePart(info.param.device) + "_Flags_" + NamePart(info.param.flags);
    });
