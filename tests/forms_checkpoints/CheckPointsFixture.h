// The main window connected to the scriptable fake with a list of check points behind CheckPointsNum and
// CheckPointIndex, Russian format settings and scripted message boxes and file dialogs.
#pragma once

#include "automation/Navilonix_OCX.h"
#include "forms/Controls.h"
#include "forms/Main.h"
#include "forms/UiSeam.h"
#include "platform/rtl/FormatSettings.h"
#include "tests/support/FakeAutomation.h"

#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Reaches the window's private list fill.
struct TMainFormTestAccess {
    static void FillChPList(TMainForm& form) { form.FillChPList(); }
};

inline FakeRecord CheckPoint(const std::string& name, double latitude, double longitude, LONG radius) {
    return FakeRecord{{"CheckPointName", name},           {"CheckPointAddress", "ул. " + name},
                      {"CheckPointID", "id-" + name},     {"CheckPointLatitude", latitude},
                      {"CheckPointLongitude", longitude}, {"CheckPointRadius", radius}};
}

class CheckPointsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_settings.emplace(TFormatSettings::Russian());
        UiSeam::SetScripted(true);
        UiSeam::Reset();
        Fake = FakeAutomation::Create();
        Fake->RegisterAsActive();
        Form = std::make_unique<TMainForm>();
        Form->ConnectButton->setEnabled(true);
        Form->ConnectButton->click();
        ASSERT_NE(Automation, nullptr);
        UiSeam::Reset();
        Fake->ClearCalls();
    }

    void TearDown() override {
        Form->DisconnectButtonClick();
        Form.reset();
        Fake->Revoke();
        Fake = nullptr;
        UiSeam::Reset();
        m_settings.reset();
    }

    // Gives the fake these check points with this current one, and forgets the calls made so far.
    void SetPoints(std::vector<FakeRecord> rows, LONG current) {
        Fake->SetList("CheckPointsNum", "CheckPointIndex", std::move(rows));
        Fake->set_CheckPointIndex(current);
        Fake->ClearCalls();
    }

    void Fill() { TMainFormTestAccess::FillChPList(*Form); }

    int Rows() const { return Form->ChPListView->topLevelItemCount(); }
    QTreeWidgetItem* Row(int row) const { return Form->ChPListView->topLevelItem(row); }
    // The 0-based rows that are selected.
    std::vector<int> SelectedRows() const {
        std::vector<int> rows;
        for (int r = 0; r < Rows(); ++r)
            if (Row(r)->isSelected())
                rows.push_back(r);
        return rows;
    }

    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const UiSeam::Shown& shown : UiSeam::ShownBoxes())
            if (shown.kind == UiSeam::Kind::MessageBox)
                texts.push_back(shown.text.toStdString());
        return texts;
    }

    ComPtr<FakeAutomation> Fake;
    std::unique_ptr<TMainForm> Form;

private:
    std::optional<TFormatSettingsScope> m_settings;
};
