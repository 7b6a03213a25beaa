// The main window connected to the scriptable fake (registered as the running server object), with Russian
// format settings and scripted dialogs, for the tests of the entries window and the track export.
#pragma once

#include "automation/Navilonix_OCX.h"
#include "forms/Controls.h"
#include "forms/Main.h"
#include "forms/Pointslist.h"
#include "forms/UiSeam.h"
#include "platform/rtl/FormatSettings.h"
#include "tests/forms/WindowFixture.h"
#include "tests/support/FakeAutomation.h"

#include <QComboBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class EntriesFixture : public WindowFixture {
protected:
    void TearDown() override {
        TPointsListForm::SetShownHook(nullptr);
        WindowFixture::TearDown();
    }

    void Connect() {
        WindowFixture::Connect();
        Fake->ClearCalls();
        UiSeam::Reset();
    }

    // Picks the entry kind and presses "Записи…" as a user would (the trips list enables the button when it has
    // trips; the tests enable it themselves). `whileShown` runs while the window is on screen; the window is
    // closed afterwards if it is still open.
    void ShowEntries(int kind, const std::function<void(TPointsListForm&)>& whileShown = {}) {
        Form->EntriesTypeBox->setEnabled(true);
        Form->EntriesButton->setEnabled(true);
        Form->EntriesTypeBox->setCurrentIndex(kind);
        TPointsListForm::SetShownHook([whileShown](TPointsListForm& form) {
            if (whileShown)
                whileShown(form);
            if (form.isVisible())
                form.close();
        });
        Form->EntriesButton->click();
    }

    // Presses "Экспорт трека".
    void Export() {
        Form->ExportToFileButton->setEnabled(true);
        Form->ExportToFileButton->click();
    }

    std::vector<std::string> ErrorBoxes() const {
        std::vector<std::string> texts;
        for (const UiSeam::TShown& shown : UiSeam::ShownBoxes())
            if (shown.kind == UiSeam::TKind::MessageBox && (shown.flags & MB_ICONMASK) == MB_ICONERROR)
                texts.push_back(shown.text.toStdString());
        return texts;
    }
};
