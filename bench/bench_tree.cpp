// Rebuild of the groups tree for large fleets: the time of one OnChangeCarsLists rebuild (with the selection
// restored) against the in-process fake, and the server calls it costs. Over the bus each call adds one round
// trip (see bench_calls). With --no-log the call log is paused, for comparing its cost.
#include "automation/CallLog.h"
#include "automation/Navilonix_OCX.h"
#include "forms/Application.h"
#include "forms/Main.h"
#include "forms/UiSeam.h"
#include "tests/support/FakeAutomation.h"

#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::vector<FakeGroup> Fleet(int groups, int vehicles) {
    std::vector<FakeGroup> fleet;
    for (int g = 0; g < groups; ++g) {
        FakeGroup group;
        group.fields = {{"GroupName", "Группа " + std::to_string((g * 7919) % 100000)},
                        {"GroupFileName", "g" + std::to_string(g) + ".grp"}};
        for (int v = 0; v < vehicles; ++v)
            group.cars.push_back({{"CarDevice", LONG{g * 1000 + v}},
                                  {"CarModel", v % 3 ? "Модель " + std::to_string((v * 7919) % 1000) : ""},
                                  {"CarNumber", v % 2 ? "А" + std::to_string(v) : ""}});
        fleet.push_back(std::move(group));
    }
    return fleet;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const bool logged = !(argc > 1 && std::strcmp(argv[1], "--no-log") == 0);
    CallLog().SetRecording(logged);
    std::printf("call log %s\n", logged ? "on" : "paused");
    QApplication qt(argc, argv);
    TApplication application;
    application.Initialize();
    UiSeam::SetScripted(true);
    double lastMs = 0;
    for (const int groups : {10, 100, 400}) {
        const int vehicles = 50;
        ComPtr<FakeAutomation> fake = FakeAutomation::Create();
        fake->SetFleet(Fleet(groups, vehicles));
        fake->RegisterAsActive();
        {
            TMainForm form;
            form.ConnectButton->click();
            form.GroupsList->setCurrentItem(form.GroupsList->topLevelItem(groups / 2)->child(vehicles / 2));
            fake->ClearCalls();
            const int runs = 5;
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < runs; ++i) {
                fake->RaiseEvent(DISPID_OnChangeCarsLists);
                QCoreApplication::processEvents();
            }
            const auto end = std::chrono::steady_clock::now();
            lastMs = std::chrono::duration<double, std::milli>(end - start).count() / runs;
            std::printf("%4d groups, %6d vehicles: rebuild %8.1f ms, %6zu server calls per rebuild\n", groups,
                        groups * vehicles, lastMs, fake->Calls().size() / runs);
            form.DisconnectButton->click();
        }
        fake->Revoke();
    }
    std::printf("milliseconds: %.1f\n", lastMs);
    return 0;
}
