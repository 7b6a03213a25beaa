// The vehicle check point parameters against the fake: the file drop-downs built from a real check point folder,
// the ten arguments of the call in their order and the conversion errors that stop it.
#include "tests/forms/CheckPointsFixture.h"
#include "tests/support/ParamName.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

namespace {

using Calls = std::vector<std::string>;

class CheckPointParametersTest : public CheckPointsFixture {
protected:
    void SetUp() override {
        CheckPointsFixture::SetUp();
        ASSERT_TRUE(m_work.isValid());
        Fake->Set("WorkDirectory", m_work.path().toStdString());
        Form->GroupsComboBox->SetText("moscow.grp");
        Form->CarsComboBox->SetText("0001234");
    }

    QString WorkPath() const { return m_work.path(); }

    void MakePoints() { ASSERT_TRUE(QDir(m_work.path()).mkdir("Points")); }

    void Touch(const QString& name) {
        QFile file(m_work.path() + "/Points/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    static QStringList Items(const TComboBox* box) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }

    static void DropDown(TComboBox* box) {
        box->showPopup();
        box->hidePopup();
    }

    std::vector<std::string> SentCalls() const { return Fake->CallsOf("SetCarChPParameters"); }

private:
    QTemporaryDir m_work;
};

} // namespace

// --- The file drop-downs ---

TEST_F(CheckPointParametersTest, BothBoxesListTheCheckPointFilesSortedWithoutExtension) {
    MakePoints();
    for (const char* name : {"Zone.chp", "A.chp", ".hidden.chp", "Route 5.CHP", "notes.txt", "Moscow.chp.bak"})
        Touch(name);
    ASSERT_TRUE(QDir(WorkPath()).mkdir("Points/Folder.chp"));
    Form->CheckPointsBox->SetText("typed");
    Form->GeoZonesBox->SetText("zones typed");
    Fake->ClearCalls();
    DropDown(Form->CheckPointsBox);

    const QStringList expected{".hidden", "A", "Folder", "Route 5", "Zone"};
    EXPECT_EQ(Items(Form->CheckPointsBox), expected);
    EXPECT_EQ(Items(Form->GeoZonesBox), expected);
    EXPECT_EQ(Form->CheckPointsBox->Text(), "typed");
    EXPECT_EQ(Form->GeoZonesBox->Text(), "zones typed");
    EXPECT_EQ(Fake->Calls(), Calls{"get_WorkDirectory"});
    EXPECT_TRUE(Messages().empty());
}

TEST_F(CheckPointParametersTest, DroppingDownTheGeozoneBoxRebuildsBothLists) {
    MakePoints();
    Touch("Zone.chp");
    DropDown(Form->CheckPointsBox);
    Touch("A.chp");
    QFile::remove(WorkPath() + "/Points/Zone.chp");
    DropDown(Form->GeoZonesBox);
    EXPECT_EQ(Items(Form->CheckPointsBox), QStringList{"A"});
    EXPECT_EQ(Items(Form->GeoZonesBox), QStringList{"A"});
}

TEST_F(CheckPointParametersTest, MissingOrEmptyFolderGivesEmptyListsWithoutAMessage) {
    Form->CheckPointsBox->AddItem("stale");
    Form->GeoZonesBox->AddItem("stale");
    DropDown(Form->GeoZonesBox);
    EXPECT_EQ(Form->CheckPointsBox->count(), 0);
    EXPECT_EQ(Form->GeoZonesBox->count(), 0);
    MakePoints();
    DropDown(Form->CheckPointsBox);
    EXPECT_EQ(Form->CheckPointsBox->count(), 0);
    EXPECT_EQ(Form->GeoZonesBox->count(), 0);
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(CheckPointParametersTest, WithoutConnectionBothListsEndUpEmpty) {
    MakePoints();
    Touch("A.chp");
    DropDown(Form->CheckPointsBox);
    ASSERT_EQ(Form->GeoZonesBox->count(), 1);
    Form->DisconnectButtonClick();
    Fake->ClearCalls();
    DropDown(Form->GeoZonesBox);
    EXPECT_EQ(Form->CheckPointsBox->count(), 0);
    EXPECT_EQ(Form->GeoZonesBox->count(), 0);
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(CheckPointParametersTest, FileBoxesAreSortedAndShowSixteenRows) {
    for (const TComboBox* box : {Form->CheckPointsBox, Form->GeoZonesBox}) {
        EXPECT_TRUE(box->Sorted());
        EXPECT_TRUE(box->isEditable());
        EXPECT_EQ(box->maxVisibleItems(), 16);
    }
}

// --- Setting the parameters ---

TEST_F(CheckPointParametersTest, InitialStateSendsTheDefaults) {
    EXPECT_TRUE(Form->SetChPPrmsButton->isEnabled());
    Form->SetChPPrmsButton->click();
    EXPECT_EQ(Fake->Calls(), Calls{"SetCarChPParameters(\"moscow.grp\", 1234, 0, \"\", 0, 5, 0, 1, 0, \"\")"});
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(CheckPointParametersTest, EveryValueGoesOutInItsPlaceWhateverTheCheckBoxes) {
    Form->DefaultChPPrmsBox->setChecked(true);
    Form->CheckPointsBox->SetText(" Нет такого ");
    Form->CallPointsByParkTimeEdit->setText("12");
    Form->CallPointsBySensBox->setChecked(true);
    Form->CallPointsBySensIndexBox->setCurrentIndex(4);
    Form->CallPointsBySensTimeEdit->setText("-3");
    Form->GeoZonesBox->SetText("Зоны.chp");
    Form->SetChPPrmsButton->click();
    // The stop minutes go out although calls by stops are off; texts go out as typed.
    EXPECT_EQ(SentCalls(),
              Calls{"SetCarChPParameters(\"moscow.grp\", 1234, 1, \" Нет такого \", 0, 12, 1, 5, -3, \"Зоны.chp\")"});

    Form->DefaultChPPrmsBox->setChecked(false);
    Form->CallPointsByParkBox->setChecked(true);
    Form->CallPointsBySensBox->setChecked(false);
    Form->CallPointsBySensIndexBox->setCurrentIndex(7);
    Fake->ClearCalls();
    Form->SetChPPrmsButton->click();
    EXPECT_EQ(SentCalls(),
              Calls{"SetCarChPParameters(\"moscow.grp\", 1234, 0, \" Нет такого \", 1, 12, 0, 8, -3, \"Зоны.chp\")"});
    EXPECT_EQ(Form->CheckPointsBox->Text(), " Нет такого "); // nothing in the window changes
}

TEST_F(CheckPointParametersTest, FailedCallShowsTheErrorWithItsCode) {
    Fake->Fail("SetCarChPParameters", E_INVALIDARG);
    Form->SetChPPrmsButton->click();
    EXPECT_EQ(SentCalls().size(), 1u);
    EXPECT_EQ(Messages(), std::vector<std::string>{"The parameter is incorrect (0x80070057)"});
    EXPECT_EQ(UiSeam::LastShown().flags & MB_ICONMASK, MB_ICONERROR);
}

struct BadInput {
    const char* park;
    const char* sensor;
    const char* device;
    const char* reported;
};

class BadParameterTest : public CheckPointParametersTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(BadParameterTest, FirstBadNumberIsReportedAndNothingIsSent) {
    const BadInput& input = GetParam();
    Form->CallPointsByParkTimeEdit->setText(QString::fromUtf8(input.park));
    Form->CallPointsBySensTimeEdit->setText(QString::fromUtf8(input.sensor));
    Form->CarsComboBox->SetText(QString::fromUtf8(input.device));
    Form->SetChPPrmsButton->click();
    EXPECT_TRUE(Fake->Calls().empty());
    ASSERT_EQ(UiSeam::ShownBoxes().size(), 1u);
    EXPECT_EQ(UiSeam::LastShown().text.toStdString(),
              std::string("'") + input.reported + "' is not a valid integer value");
    EXPECT_EQ(UiSeam::LastShown().flags & MB_ICONMASK, MB_ICONERROR);
}

INSTANTIATE_TEST_SUITE_P(, BadParameterTest,
                         ::testing::Values(BadInput{"", "0", "0001234", ""}, BadInput{"5м", "x", "y", "5м"},
                                           BadInput{"5", "1 ", "y", "1 "}, BadInput{"5", "0", "", ""},
                                           BadInput{"5", "0", "12a", "12a"}),
                         [](const ::testing::TestParamInfo<BadInput>& info) {
                             const BadInput& input = info.param;
                             return "Park_" + NamePart(input.park) + "_Sensor_" + NamePart(input.sensor) + "_Device_" +
                                    NamePart(input.device);
                         });
