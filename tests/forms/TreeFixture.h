// The main window connected to the scriptable fake (registered as the running server object), with Russian
// format settings and scripted message boxes, for the tests of the groups tree, the information panels and the
// position commands.
#pragma once

#include "automation/Navilonix_OCX.h"
#include "forms/Controls.h"
#include "forms/Main.h"
#include "forms/UiSeam.h"
#include "platform/rtl/FormatSettings.h"
#include "tests/forms/TreeFleet.h"
#include "tests/forms/WindowFixture.h"
#include "tests/support/FakeAutomation.h"

#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TreeFixture : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        Fake->SetFleet(DemoFleet());
    }

    // The group node with this text, or its vehicle node with this text.
    QTreeWidgetItem* Node(const QString& group, const QString& car = {}) const {
        for (int g = 0; g < Form->GroupsList->topLevelItemCount(); ++g) {
            QTreeWidgetItem* groupNode = Form->GroupsList->topLevelItem(g);
            if (groupNode->text(0) != group)
                continue;
            if (car.isEmpty())
                return groupNode;
            for (int v = 0; v < groupNode->childCount(); ++v)
                if (groupNode->child(v)->text(0) == car)
                    return groupNode->child(v);
        }
        return nullptr;
    }

    void Select(QTreeWidgetItem* node) {
        ASSERT_NE(node, nullptr);
        Form->GroupsList->setCurrentItem(node);
    }

    QString Value(QTreeWidget* list, int row) const { return list->topLevelItem(row)->text(1); }
};
