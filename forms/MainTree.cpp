// The groups and vehicles tree: rebuilt from the server's group and vehicle cursors, kept in text order, with the
// remembered selection restored after every rebuild; the selected node drives the information panels and the
// vehicle inputs of the control sheet.
#include "forms/Main.h"

#include "automation/Navilonix_OCX.h"
#include "forms/Controls.h"
#include "forms/Formats.h"
#include "forms/ServerText.h"
#include "platform/rtl/FileName.h"
#include "platform/rtl/ScopeExit.h"
#include "platform/rtl/Text.h"

#include <QFont>
#include <QFrame>
#include <QTreeWidget>

#include <algorithm>
#include <optional>

namespace {

// A tree node that sorts by its text in the collation order of the user's locale, case-sensitively.
class TTreeNode final : public QTreeWidgetItem {
public:
    TTreeNode(const std::string& text, LONG data) : m_key(text) {
        setText(0, QString::fromStdString(text));
        setData(0, Qt::UserRole, static_cast<int>(data));
    }

    bool operator<(const QTreeWidgetItem& other) const override {
        if (const auto* node = dynamic_cast<const TTreeNode*>(&other))
            return AnsiCompareStr(m_key, node->m_key) < 0;
        return QTreeWidgetItem::operator<(other);
    }

private:
    std::string m_key;
};

} // namespace

LONG TMainForm::NodeData(const QTreeWidgetItem* Node) {
    return Node ? static_cast<LONG>(Node->data(0, Qt::UserRole).toInt()) : 0;
}

int TMainForm::NodeLevel(const QTreeWidgetItem* Node) {
    int level = 0;
    for (const QTreeWidgetItem* parent = Node ? Node->parent() : nullptr; parent; parent = parent->parent())
        ++level;
    return level;
}

void TMainForm::GroupsListCustomDrawItem(QTreeWidgetItem* Node) {
    if (NodeLevel(Node) != 0)
        return; // vehicle nodes keep the tree's font
    QFont font = GroupsList->font();
    font.setBold(true);
    Node->setFont(0, font);
}

void TMainForm::FillGroupsList() {
    // A rebuild that starts while another one waits on the server is dropped: the handler is detached only
    // while a rebuild runs.
    if (!GroupsListChangeAttached())
        return;
    DetachGroupsListChange();
    GroupsList->setUpdatesEnabled(false);
    // Whatever ends the rebuild, also a failed server call, the tree is drawn again and follows its selection
    // again afterwards: otherwise one error would freeze it for the rest of the run.
    const TScopeExit restore([this] {
        GroupsList->setUpdatesEnabled(true);
        if (!GroupsListChangeAttached())
            AttachGroupsListChange();
    });
    GroupsList->clear();

    QTreeWidgetItem* groupCandidate = nullptr;
    QTreeWidgetItem* carCandidate = nullptr;
    if (Automation) {
        Automation->WaitForInitializing();
        // Counts are never negative; a negative one is taken as none.
        const LONG groupsNum = std::max<LONG>(Automation->get_GroupsNum(), 0);
        for (LONG g = 1; g <= groupsNum; ++g) {
            Automation->set_GroupIndex(g);
            auto* groupNode = new TTreeNode(Text(Automation->get_GroupName()), g);
            GroupsList->addTopLevelItem(groupNode);
            GroupsListCustomDrawItem(groupNode);
            const bool matches = SameFileName(Text(Automation->get_GroupFileName()), SelectedGroupFile);
            if (matches)
                groupCandidate = groupNode;

            const LONG carsNum = std::max<LONG>(Automation->get_GroupCarsNum(), 0);
            for (LONG v = 1; v <= carsNum; ++v) {
                Automation->set_CarIndex(v);
                std::optional<LONG> device;
                std::string text = Text(Automation->get_CarModel());
                if (!text.empty()) {
                    const std::string number = Text(Automation->get_CarNumber());
                    if (!number.empty())
                        text += " - " + number;
                } else {
                    device = Automation->get_CarDevice();
                    text = FormatDeviceNumber(*device);
                }
                auto* carNode = new TTreeNode(text, v);
                groupNode->addChild(carNode);
                GroupsListCustomDrawItem(carNode);
                if (matches && SelectedVehicle) {
                    if (!device)
                        device = Automation->get_CarDevice();
                    if (*device == SelectedDevice)
                        carCandidate = carNode;
                }
            }
        }
    }

    // Sorting keeps the current node, so the candidate may be selected before or after it.
    GroupsList->sortItems(0, Qt::AscendingOrder);
    if (QTreeWidgetItem* selected = carCandidate ? carCandidate : groupCandidate)
        GroupsList->setCurrentItem(selected);
    else
        GroupsList->setCurrentItem(nullptr);

    GroupsList->setUpdatesEnabled(true);
    if (QTreeWidgetItem* selected = GroupsList->currentItem()) {
        if (QTreeWidgetItem* parent = selected->parent())
            parent->setExpanded(true);
        GroupsList->scrollToItem(selected);
    }
    ShowSelectionInfo();
}

void TMainForm::ShowSelectionInfo() {
    QTreeWidgetItem* node = GroupsList->currentItem();
    if (!node) {
        GroupInfoPanel->hide();
        InfoPanel->hide();
        SelectedGroupFile.clear();
        SelectedDevice = 0;
        SelectedVehicle = false;
        GroupsComboBox->SetText({});
        CarsComboBox->SetText({});
        return;
    }

    if (NodeLevel(node) == 0) {
        FillGroupInfo(node);
        GroupInfoPanel->show();
        InfoPanel->hide();
        if (!Automation)
            return;
        const std::string file = Text(Automation->get_GroupFileName());
        SelectedGroupFile = file;
        SelectedDevice = 0;
        SelectedVehicle = false;
        GroupsComboBox->SetText(QString::fromStdString(file));
        CarsComboBox->SetText({});
        return;
    }

    FillDeviceInfo(node);
    FillOnlineInfo(node);
    InfoPanel->show();
    GroupInfoPanel->hide();
    if (!Automation)
        return;
    const std::string file = Text(Automation->get_GroupFileName());
    const LONG device = Automation->get_CarDevice();
    SelectedGroupFile = file;
    SelectedDevice = device;
    SelectedVehicle = true;
    GroupsComboBox->SetText(QString::fromStdString(file));
    CarsComboBox->SetText(QString::fromStdString(FormatDeviceNumber(device)));
}

void TMainForm::GroupsListChange() {
    ShowSelectionInfo();
}
