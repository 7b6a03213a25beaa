// The main window connected to the scriptable fake with a list of check points behind CheckPointsNum and
// CheckPointIndex, Russian format settings and scripted message boxes and file dialogs.
#pragma once

#include "automation/Navilonix_OCX.h"
#include "forms/Controls.h"
#include "forms/Main.h"
#include "forms/UiSeam.h"
#include "platform/rtl/FormatSettings.h"
#include "tests/forms/WindowFixture.h"
#include "tests/support/FakeAutomation.h"

#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

inline FakeRecord CheckPoint(const std::string& name, double latitude, double longitude, LONG radius) {
    return FakeRecord{{"CheckPointName", name},           {"CheckPointAddress", "ул. " + name},
                      {"CheckPointID", "id-" + name},     {"CheckPointLatitude", latitude},
                      {"CheckPointLongitude", longitude}, {"CheckPointRadius", radius}};
}

class CheckPointsFixture : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        Connect();
        UiSeam::Reset();
        Fake->ClearCalls();
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
};
