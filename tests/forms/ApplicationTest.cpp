// The application object: the standard error box, the guard around handlers, the failure prompt it installs,
// its ownership of the automation object, and the find dialog created at start-up.
#include "forms/Application.h"
#include "automation/Navilonix_OCX.h"
#include "forms/Findcheckpoint.h"
#include "forms/UiSeam.h"
#include "platform/rtl/Exceptions.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override { UiSeam::Reset(); }
    void TearDown() override { UiSeam::Reset(); }
};

TEST_F(ApplicationTest, ErrorBoxShowsTheMessageCaptionedWithTheTitle) {
    const EConvertError error("'abc' is not a valid integer value");
    Application->ShowException(&error);
    const UiSeam::TShown box = UiSeam::LastShown();
    EXPECT_EQ(box.kind, UiSeam::TKind::MessageBox);
    EXPECT_EQ(box.caption, "НавиЛОКС OLE");
    EXPECT_EQ(box.text, "'abc' is not a valid integer value");
    EXPECT_EQ(box.flags, MB_OK | MB_ICONERROR);
}

TEST_F(ApplicationTest, ErrorOutsideTheRuntimesClassesShowsAnEmptyMessage) {
    const std::runtime_error error("internal detail");
    Application->ShowException(&error);
    EXPECT_TRUE(UiSeam::LastShown().text.isEmpty());
    EXPECT_EQ(UiSeam::LastShown().flags, MB_OK | MB_ICONERROR);
}

TEST_F(ApplicationTest, GuardStopsTheHandlerAndShowsTheError) {
    bool after = false;
    Guarded([&] {
        throw EOleSysError("Class not registered, ClassID: {X}", static_cast<std::int32_t>(0x80040154));
        after = true;
    });
    EXPECT_FALSE(after);
    EXPECT_EQ(UiSeam::LastShown().text, "Class not registered, ClassID: {X}");
    Guarded([] { throw 42; });
    EXPECT_EQ(UiSeam::ShownBoxes().size(), 2u);
    EXPECT_TRUE(UiSeam::LastShown().text.isEmpty());
}

TEST_F(ApplicationTest, FailurePromptAsksYesNoCancel) {
    UiSeam::SetNextAnswer(IDNO);
    const HRESULT code = static_cast<HRESULT>(0x80004005);
    EXPECT_EQ(HrCheck(code, "expr", "src", 7), code);
    const UiSeam::TShown prompt = UiSeam::LastShown();
    EXPECT_EQ(prompt.caption, "HRCHECK: ");
    EXPECT_EQ(prompt.flags, MB_YESNOCANCEL | MB_ICONQUESTION | MB_TASKMODAL);
    EXPECT_TRUE(prompt.text.startsWith("'expr': "));

    UiSeam::SetNextAnswer(IDYES);
    EXPECT_THROW(HrCheck(code, "expr", "src", 7), EOleException);
}

TEST_F(ApplicationTest, MessageBoxReturnsTheQueuedAnswer) {
    UiSeam::SetNextAnswer(IDOK);
    EXPECT_EQ(Application->MessageBox("01.05.2009 13:05:09", "Позиция", MB_OK), IDOK);
    EXPECT_EQ(UiSeam::LastShown().caption, "Позиция");
    EXPECT_EQ(UiSeam::LastShown().flags, MB_OK);
    // Without a queued answer a Yes/No box answers No, an OK box OK.
    EXPECT_EQ(Application->MessageBox("?", "", MB_YESNO), IDNO);
    EXPECT_EQ(Application->MessageBox("!", "", MB_OK), IDOK);
}

TEST_F(ApplicationTest, ApplicationDestroysTheAutomationObjectItOwns) {
    TApplication* const global = Application;
    const int before = TNavilonixAutomation::ClassServerData().InstanceCount;
    {
        TApplication owner;
        new TNavilonixAutomation(&owner);
        EXPECT_EQ(owner.ComponentCount(), 1);
        EXPECT_EQ(TNavilonixAutomation::ClassServerData().InstanceCount, before + 1);
    }
    Application = global;
    EXPECT_EQ(TNavilonixAutomation::ClassServerData().InstanceCount, before);
    // The global application's prompt is still installed.
    UiSeam::SetNextAnswer(IDNO);
    HrCheck(static_cast<HRESULT>(0x80004005), "expr", "src", 1);
    EXPECT_EQ(UiSeam::LastShown().caption, "HRCHECK: ");
}

TEST_F(ApplicationTest, CreateFormMakesTheFirstWindowTheMainWindow) {
    TApplication* const global = Application;
    {
        TApplication owner;
        QWidget* first = nullptr;
        TFindCheckPointForm* dialog = nullptr;
        owner.CreateForm(first);
        owner.CreateForm(dialog);
        EXPECT_EQ(owner.MainFormWidget(), first);
        EXPECT_FALSE(dialog->isVisible());
    }
    Application = global;
}

TEST(FindCheckPointFormTest, DialogHasItsControlsAndStaysHidden) {
    TFindCheckPointForm form;
    QDir().mkpath("screenshots");
    EXPECT_EQ(form.windowTitle(), "Поиск контрольной точки");
    EXPECT_EQ(form.size(), QSize(394, 128));
    EXPECT_EQ(form.FindButton->text(), "Найти");
    EXPECT_TRUE(form.FindButton->isDefault());
    EXPECT_FALSE(form.OKButton->isDefault());
    EXPECT_TRUE(form.NameEdit->isReadOnly());
    EXPECT_EQ(form.LatLabel->text(), "Широта:");
    EXPECT_EQ(form.CancelButton->text(), "Отмена");
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.grab().save("screenshots/find-check-point.png"));
}

} // namespace
