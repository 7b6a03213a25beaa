// Starting a trip computation: what reaches the server and in which order, the conversion error of a bad device
// number, repeated starts and the poll that follows a start.
#include "tests/forms/ComputingFixture.h"
#include "tests/support/ParamName.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDeadlineTimer>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>

namespace {

using Calls = std::vector<std::string>;

class ComputingTest : public ComputingFixture {
protected:
    void SetUp() override {
        ComputingFixture::SetUp();
        Connect();
        UiSeam::Reset();
        Fake->ClearCalls();
    }

    // Lets the window's timer run until it stops (or a generous limit passes).
    void RunUntilTimerStops() {
        QDeadlineTimer deadline(5000);
        while (Form->ComputingTimer->isActive() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
};

} // namespace

TEST_F(ComputingTest, UnchangedFormStartsTheDefaultPeriodFromGsmSplitIntoTrips) {
    EXPECT_TRUE(Form->ComputingButton->isEnabled());
    Form->GroupsComboBox->SetText("moscow.grp");
    Form->CarsComboBox->SetText("0001234");
    Form->ComputingButton->click();

    EXPECT_EQ(Fake->Calls(), (Calls{"set_ComputingTimeout(15)",
                                    "StartComputing(\"moscow.grp\", 1234, \"01.05.2009 00:00:00\", "
                                    "\"01.09.2009 00:00:00\", \"GSM\", 1)",
                                    "get_ComputingBusy"}));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ComputingTest, PickedPeriodSourceAndSplitFlagArePassedAsTheyStand) {
    // An end before the start and an empty group file go to the server unchecked.
    Form->FirstDatePicker->setDate(QDate(2010, 2, 3));
    Form->FirstTimePicker->setTime(QTime(13, 45));
    Form->LastDatePicker->setDate(QDate(2009, 12, 31));
    Form->LastTimePicker->setTime(QTime(23, 59));
    Form->USBSourceButton->setChecked(true);
    Form->TakeTripsSetupBox->setChecked(false);
    Form->GroupsComboBox->SetText("");
    Form->CarsComboBox->SetText("-0042");
    Form->ComputingButton->click();

    EXPECT_EQ(Fake->CallsOf("StartComputing"),
              (Calls{"StartComputing(\"\", -42, \"03.02.2010 13:45:00\", \"31.12.2009 23:59:00\", \"USB\", 0)"}));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ComputingTest, IdleServerAfterTheStartStillStartsTheTimerWhoseFirstTickStopsIt) {
    Form->GroupsComboBox->SetText("a.grp");
    Form->CarsComboBox->SetText("5");
    Form->ComputingButton->click();

    EXPECT_TRUE(Form->ComputingTimer->isActive());
    EXPECT_EQ(Form->ComputingStatusInfoLabel->text(), "Готов");
    Fake->ClearCalls();
    RunUntilTimerStops();
    EXPECT_FALSE(Form->ComputingTimer->isActive());
    EXPECT_EQ(Fake->Calls(), (Calls{"get_ComputingBusy"}));
    EXPECT_EQ(Form->ComputingStatusInfoLabel->text(), "Готов");
    EXPECT_EQ(Form->ComputingProgressBar->value(), 0);
}

TEST_F(ComputingTest, SecondClickWhileBusyStartsAgainWithTheCurrentInputsAndKeepsTheLastResult) {
    Fake->Set("ComputingBusy", LONG{1});
    Fake->Set("ComputingPercents", LONG{40});
    Form->ComputingResultInfoLabel->setText("OK");
    Form->ComputingResultButton->setEnabled(true);
    Form->GroupsComboBox->SetText("a.grp");
    Form->CarsComboBox->SetText("5");
    Form->ComputingButton->click();
    EXPECT_EQ(Form->ComputingStatusInfoLabel->text(), "Занят");
    EXPECT_EQ(Form->ComputingProgressBar->value(), 40);
    EXPECT_TRUE(Form->ComputingTimer->isActive());

    EXPECT_TRUE(Form->ComputingButton->isEnabled());
    Form->GroupsComboBox->SetText("b.grp");
    Form->CarsComboBox->SetText("0000007");
    Form->USBSourceButton->setChecked(true);
    Form->ComputingButton->click();

    EXPECT_EQ(Fake->CallsOf("StartComputing"),
              (Calls{"StartComputing(\"a.grp\", 5, \"01.05.2009 00:00:00\", \"01.09.2009 00:00:00\", \"GSM\", 1)",
                     "StartComputing(\"b.grp\", 7, \"01.05.2009 00:00:00\", \"01.09.2009 00:00:00\", \"USB\", 1)"}));
    EXPECT_EQ(Fake->CallsOf("set_ComputingTimeout"), (Calls{"set_ComputingTimeout(15)", "set_ComputingTimeout(15)"}));
    EXPECT_EQ(Form->ComputingResultInfoLabel->text(), "OK");
    EXPECT_TRUE(Form->ComputingResultButton->isEnabled());
    EXPECT_TRUE(Form->ComputingTimer->isActive());
}

class ComputingBadDeviceTest : public ComputingTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ComputingBadDeviceTest, ShowsTheConversionErrorAfterWritingTheTimeoutAndStartsNothing) {
    const std::string device = GetParam();
    Form->GroupsComboBox->SetText("a.grp");
    Form->CarsComboBox->SetText(QString::fromStdString(device));
    Form->ComputingButton->click();

    EXPECT_EQ(Fake->Calls(), (Calls{"set_ComputingTimeout(15)"}));
    EXPECT_FALSE(Form->ComputingTimer->isActive());
    ASSERT_EQ(UiSeam::ShownBoxes().size(), 1u);
    EXPECT_EQ(UiSeam::ShownBoxes()[0].text.toStdString(), "'" + device + "' is not a valid integer value");
    EXPECT_EQ(UiSeam::ShownBoxes()[0].caption, "НавиЛОКС OLE");
    EXPECT_EQ(UiSeam::ShownBoxes()[0].flags & MB_ICONMASK, MB_ICONERROR);
}

INSTANTIATE_TEST_SUITE_P(Texts, ComputingBadDeviceTest, ::testing::Values("", "12a", " 5", "0x10", "2147483648"),
                         ParamValueName());

TEST_F(ComputingTest, ResultButtonOnlyOpensTheTripsSheet) {
    Form->PageControl->setCurrentWidget(Form->ControlSheet);
    Form->ComputingResultButton->setEnabled(true);
    Form->ComputingResultButton->click();
    EXPECT_EQ(Form->PageControl->currentWidget(), Form->TripsInfoSheet);
    EXPECT_TRUE(Fake->Calls().empty());
}

TEST_F(ComputingTest, FailedStartShowsTheErrorWithItsCodeAndPollsNothing) {
    Fake->Fail("StartComputing", E_FAIL);
    Form->GroupsComboBox->SetText("a.grp");
    Form->CarsComboBox->SetText("5");
    Form->ComputingButton->click();
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Unspecified error (0x80004005)"}));
    EXPECT_FALSE(Form->ComputingTimer->isActive());
    EXPECT_TRUE(Fake->CallsOf("get_ComputingBusy").empty());
}
