// The main window against the scriptable fake, registered as the running server object, with Russian format
// settings and every box and file dialog answered by the scripted dialog seam. The window tests derive from it and
// reach the window's private fills through TMainFormTestAccess.
#pragma once

#include "automation/Navilonix_OCX.h"
#include "forms/Main.h"
#include "forms/UiSeam.h"
#include "platform/rtl/FormatSettings.h"
#include "tests/support/FakeAutomation.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Reaches the window's private fills.
struct TMainFormTestAccess {
    static void FillGroupsList(TMainForm& form) { form.FillGroupsList(); }
    static void ShowSelectionInfo(TMainForm& form) { form.ShowSelectionInfo(); }
    static void FillGroupInfo(TMainForm& form, QTreeWidgetItem* node) { form.FillGroupInfo(node); }
    static void FillDeviceInfo(TMainForm& form, QTreeWidgetItem* node) { form.FillDeviceInfo(node); }
    static void FillOnlineInfo(TMainForm& form, QTreeWidgetItem* node) { form.FillOnlineInfo(node); }
    static bool ChangeHandlerAttached(const TMainForm& form) { return form.GroupsListChangeAttached(); }
    static void FillChPList(TMainForm& form) { form.FillChPList(); }
    static void FillTripsList(TMainForm& form) { form.FillTripsList(); }
};

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_settings.emplace(TFormatSettings::Russian());
        UiSeam::SetScripted(true);
        UiSeam::Reset();
        Fake = FakeAutomation::Create();
        Fake->RegisterAsActive();
        Form = std::make_unique<TMainForm>();
    }

    void TearDown() override {
        Form->DisconnectButtonClick();
        Form.reset();
        Fake->Revoke();
        Fake = nullptr;
        UiSeam::Reset();
        m_settings.reset();
    }

    // Presses Connect as a user would.
    void Connect() {
        Form->ConnectButton->setEnabled(true);
        Form->ConnectButton->click();
        ASSERT_NE(Automation, nullptr);
    }

    // The texts of the message boxes shown so far.
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const UiSeam::TShown& shown : UiSeam::ShownBoxes())
            if (shown.kind == UiSeam::TKind::MessageBox)
                texts.push_back(shown.text.toStdString());
        return texts;
    }

    ComPtr<FakeAutomation> Fake;
    std::unique_ptr<TMainForm> Form;

private:
    std::optional<TFormatSettingsScope> m_settings;
};
