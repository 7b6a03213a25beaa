// The check point list page and the vehicle check point parameters of the main window.
#include "forms/Main.h"

#include <QTreeWidget>

void TMainForm::ConnectCheckPointHandlers() {}

void TMainForm::FillChPList() {
    ChPListView->clear();
}
