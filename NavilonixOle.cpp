// The console's start-up: COM for the user-interface thread, the application title, the main window and the
// find dialog, then the message loop.
#include "forms/Application.h"
#include "forms/Findcheckpoint.h"
#include "forms/Main.h"
#include "platform/rtl/FormatSettings.h"

#include <QApplication>

#include <exception>

int main(int argc, char** argv) {
    QApplication qtApplication(argc, argv);
    TApplication application;
    try {
        application.Initialize();
        application.SetTitle(QStringLiteral("НавиЛОКС OLE"));
        SetCurrentFormatSettings(TFormatSettings::FromLocale());
        // TODO(lead): install the out-of-process transport here once platform/qt provides its start-up call.
        application.CreateForm(MainForm);
        application.CreateForm(FindCheckPointForm);
        application.Run();
    } catch (const std::exception& error) {
        application.ShowException(&error);
    } catch (...) {
        application.ShowException(nullptr);
    }
    return 0;
}
