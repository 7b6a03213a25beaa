// Every window of the console as a screen reader and a keyboard user meet it: the accessibility tree reaches every
// focusable control, each of them has a name that is not just its value, and every command takes Tab focus.
#include "forms/Checkpointproperties.h"
#include "forms/Findcheckpoint.h"
#include "forms/Main.h"
#include "forms/MaskEdit.h"
#include "forms/Pointslist.h"
#include "platform/rtl/FormatSettings.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

QString PathOf(const QObject* object) {
    QString path;
    for (; object; object = object->parent())
        path = (object->objectName().isEmpty() ? QString::fromLatin1(object->metaObject()->className())
                                               : object->objectName()) +
               (path.isEmpty() ? QString() : QStringLiteral("/") + path);
    return path;
}

// Under Linux a combo box's name is its current item; what it is for comes from the label that names it.
bool LabelledByALabel(QAccessibleInterface* node) {
    for (const auto& [other, relation] : node->relations(QAccessible::Label)) {
        const auto* label = qobject_cast<const QLabel*>(other->object());
        if (label && !label->text().trimmed().isEmpty())
            return true;
    }
    return false;
}

struct Walk {
    std::set<const QWidget*> reached;
    std::vector<std::string> unnamed;

    void Visit(QAccessibleInterface* node) {
        const auto* widget = qobject_cast<const QWidget*>(node->object());
        if (widget && reached.insert(widget).second && node->state().focusable) {
            const QString name = node->text(QAccessible::Name).trimmed();
            const bool named = node->role() == QAccessible::ComboBox ? LabelledByALabel(node) : !name.isEmpty();
            if (!named)
                unnamed.push_back(PathOf(widget).toStdString() + " (name \"" + name.toStdString() + "\")");
        }
        for (int i = 0; i < node->childCount(); ++i)
            if (QAccessibleInterface* child = node->child(i))
                Visit(child);
    }
};

// Walks the window's accessibility tree and checks every focusable control in it.
void ExpectAccessible(QWidget& window) {
    Walk walk;
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&window);
    ASSERT_NE(root, nullptr);
    walk.Visit(root);

    std::vector<std::string> unreached;
    std::vector<std::string> noTab;
    int focusable = 0;
    for (const QWidget* control : window.findChildren<QWidget*>()) {
        if (control->window() != &window || control->focusPolicy() == Qt::NoFocus ||
            control->objectName() == QLatin1String("qt_spinbox_lineedit"))
            continue;
        ++focusable;
        if (!walk.reached.count(control))
            unreached.push_back(PathOf(control).toStdString());
        if (qobject_cast<const QAbstractButton*>(control) && !(control->focusPolicy() & Qt::TabFocus))
            noTab.push_back(PathOf(control).toStdString());
    }
    EXPECT_GT(focusable, 0);
    EXPECT_EQ(unreached, std::vector<std::string>{}) << "focusable controls the accessibility tree does not reach";
    EXPECT_EQ(walk.unnamed, std::vector<std::string>{}) << "focusable controls without an accessible name";
    EXPECT_EQ(noTab, std::vector<std::string>{}) << "commands that Tab does not reach";
}

QString NameOf(QWidget* control) {
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(control);
    return node ? node->text(QAccessible::Name) : QString();
}

class AccessibilityTest : public ::testing::Test {
protected:
    TFormatSettingsScope m_settings{TFormatSettings::Russian()};
};

} // namespace

TEST_F(AccessibilityTest, EveryWindowNamesEveryFocusableControl) {
    {
        SCOPED_TRACE("main window");
        TMainForm form;
        ExpectAccessible(form);
        // Lists and trees take their panel's caption, the progress bar its label's.
        EXPECT_EQ(NameOf(form.GroupsList), QStringLiteral("Список групп"));
        EXPECT_EQ(NameOf(form.OnlineListView), QStringLiteral("Online данные"));
        EXPECT_EQ(NameOf(form.ComputingProgressBar), QStringLiteral("Состояние"));
    }
    {
        SCOPED_TRACE("check point properties");
        TCheckPointPropertiesForm form;
        ExpectAccessible(form);
        EXPECT_EQ(NameOf(form.LatMaskEdit), QStringLiteral("Широта"));
        EXPECT_EQ(NameOf(form.LngMaskEdit), QStringLiteral("Долгота"));
    }
    {
        SCOPED_TRACE("find check point");
        TFindCheckPointForm form;
        ExpectAccessible(form);
        EXPECT_EQ(NameOf(form.LatMaskEdit), QStringLiteral("Широта"));
        EXPECT_EQ(NameOf(form.IDEdit), QStringLiteral("ID"));
    }
    {
        SCOPED_TRACE("trip entries");
        TPointsListForm form;
        ExpectAccessible(form);
    }
}

TEST_F(AccessibilityTest, HintsAreReadAsDescriptions) {
    TMainForm form;
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(form.ConnectButton);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->text(QAccessible::Description), QStringLiteral("Подключиться к COM серверу"));
}
