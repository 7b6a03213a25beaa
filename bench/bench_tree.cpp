// Rebuild of the groups tree for large fleets: the time of one OnChangeCarsLists rebuild (with the selection
// restored) against the in-process fake, and the server calls it costs. Over the bus each call adds one round
// trip (see bench_calls). Each is timed with the call log paused and on, for the log's share.
#include "automation/CallLog.h"
#include "automation/Navilonix_OCX.h"
#include "forms/Application.h"
#include "forms/Main.h"
#include "forms/UiSeam.h"
#include "tests/support/FakeAutomation.h"

#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

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

// The processor time this thread has used, ms: unlike the wall clock, it leaves out the time other programs on the
// machine take, so that the runs with the log paused and on compare fairly.
double ThreadMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
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
            // Rebuilds with the log paused and on in turn, each first in every other round. Rebuilds grow slower as a
            // run goes on (the heap fragments), so the figures are medians, and the log's share is the median of each
            // round's on-to-paused ratio, which compares rebuilds made one after the other.
            std::vector<double> times[2];
            std::vector<double> ratios;
            std::size_t calls = 0;
            for (int round = 0; round < 4000 / groups + 10; ++round) {
                double pair[2] = {0, 0};
                for (const bool second : {false, true}) {
                    const bool logged = second != (round % 2 == 0);
                    CallLog().SetRecording(logged); // the log fills and wraps as in a long session
                    fake->ClearCalls();
                    const double start = ThreadMs();
                    fake->RaiseEvent(DISPID_OnChangeCarsLists);
                    QCoreApplication::processEvents();
                    pair[logged] = ThreadMs() - start;
                    times[logged].push_back(pair[logged]);
                    calls = fake->Calls().size();
                }
                ratios.push_back(pair[1] / pair[0]);
            }
            lastMs = Median(times[1]);
            std::printf(
                "%4d groups, %6d vehicles: rebuild %8.1f ms with the log paused, %8.1f ms with it on (%+.1f %%), "
                "%6zu server calls per rebuild\n",
                groups, groups * vehicles, Median(times[0]), lastMs, 100 * (Median(ratios) - 1), calls);
            form.DisconnectButton->click();
        }
        fake->Revoke();
    }
    CallLog().SetRecording(true);
    std::printf("milliseconds: %.1f\n", lastMs);
    return 0;
}
