// The console's start-up: COM for the user-interface thread, the application title, the main window and the
// find dialog, then the message loop.
#include "automation/NavilonixMarshal.h"
#include "forms/Application.h"
#include "forms/Findcheckpoint.h"
#include "forms/Main.h"
#include "platform/qt/QtBusPump.h"
#include "platform/rtl/FormatSettings.h"

#include <QApplication>

#include <exception>
#include <memory>

int main(int argc, char** argv) {
    QApplication qtApplication(argc, argv);
    // The server runs in its own process and is reached over the session bus. The transport is declared before
    // the application object so that it goes after the application has let go of the server, and before Qt.
    std::unique_ptr<QtComTransport> transport;
    TApplication application;
    try {
        RegisterNavilonixMarshaling();
        transport = InstallQtComTransport();
        application.Initialize();
        application.SetTitle(QStringLiteral("НавиЛОКС OLE"));
        SetCurrentFormatSettings(TFormatSettings::FromLocale());
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
