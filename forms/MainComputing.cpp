// Trip computing and the trips list of the main window.
#include "forms/Main.h"

#include <QTreeWidget>

void TMainForm::ConnectComputingHandlers() {}

void TMainForm::FillTripsList() {
    TripsListView->clear();
}
