// The main window's commands that open the check point dialogs.
#include "forms/Main.h"

void TMainForm::ConnectCheckPointDialogHandlers() {}
