// Writes pictures of the main window connected to the fake: a selected vehicle (device and online lists) and a
// selected group. Usage: tree_screenshot [folder]; the pictures are vehicle.png and group.png.
#include "forms/Controls.h"
#include "forms/Main.h"
#include "platform/rtl/FormatSettings.h"
#include "tests/forms/TestApplication.h"
#include "tests/forms/TreeFleet.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>

#include <cstdio>

namespace {

QTreeWidgetItem* Find(QTreeWidget* tree, const QString& group, const QString& car) {
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        QTreeWidgetItem* node = tree->topLevelItem(g);
        if (node->text(0) != group)
            continue;
        if (car.isEmpty())
            return node;
        for (int v = 0; v < node->childCount(); ++v)
            if (node->child(v)->text(0) == car)
                return node->child(v);
    }
    return nullptr;
}

bool Save(QWidget* window, const QString& path) {
    QApplication::processEvents();
    const bool saved = window->grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    ConsoleTestApplication application(argc, argv);
    SetCurrentFormatSettings(TFormatSettings::Russian());
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());

    ComPtr<FakeAutomation> fake = FakeAutomation::Create();
    std::vector<FakeGroup> fleet = DemoFleet();
    fleet[0].cars[0]["CarParkTime"] = std::string("0:00:00");
    fleet[0].cars[0]["CarSpeed"] = 62.4;
    fleet[0].cars[0]["CarFlags"] = LONG{0x2A1};
    fleet[0].cars[0]["CarCourse"] = 271.5;
    fake->SetFleet(fleet);
    fake->RegisterAsActive();

    int result = 0;
    {
        TMainForm form;
        form.show();
        form.ConnectButton->click();
        form.GroupsList->setCurrentItem(Find(form.GroupsList, "Москва", "КамАЗ"));
        if (!Save(&form, folder.filePath("vehicle.png")))
            result = 1;
        form.GroupsList->setCurrentItem(Find(form.GroupsList, "Москва", {}));
        if (!Save(&form, folder.filePath("group.png")))
            result = 1;
        form.DisconnectButtonClick();
    }
    fake->Revoke();
    return result;
}
