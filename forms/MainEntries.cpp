// The main window's trip entries and track export commands.
#include "forms/Main.h"

void TMainForm::ConnectEntriesHandlers() {}
