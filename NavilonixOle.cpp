// The console's start-up: a check for a graphical session, Qt's translations for the session's locale, COM for the
// user-interface thread, the application title, the main window and the find dialog, then the message loop.
#include "automation/NavilonixMarshal.h"
#include "forms/Application.h"
#include "forms/CommandLine.h"
#include "forms/Findcheckpoint.h"
#include "forms/Main.h"
#include "platform/qt/QtBusPump.h"
#include "platform/qt/QtTranslations.h"
#include "platform/rtl/FormatSettings.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

namespace {

// A display server, or a platform that the caller chose on purpose (the tests' offscreen one).
bool HasGraphicalSession(int argc, char** argv) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(name); value && *value)
            return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // Help, version and a bad machine name are answered before anything else, so that they need no display.
    if (const int code = AnswerCommandLine(ParseCommandLine(argc, argv, false), argv[0]); code >= 0)
        return code;
    // Without a display the window would open nowhere and the console would seem to hang.
    if (!HasGraphicalSession(argc, argv)) {
        std::fputs("NavilonixOle: нет графического сеанса (не заданы DISPLAY и WAYLAND_DISPLAY).\n"
                   "Консоль — программа с окном. Запустите её из меню или терминала рабочего стола;\n"
                   "по ssh — с пересылкой X11: ssh -X <машина> NavilonixOle;\n"
                   "без экрана — на виртуальном: xvfb-run NavilonixOle.\n"
                   "NavilonixOle needs a graphical session: set DISPLAY or WAYLAND_DISPLAY (ssh -X, xvfb-run).\n",
                   stderr);
        return 1;
    }
    QApplication qtApplication(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("ru.navilonix.NavilonixOle"));
    InstallQtTranslations(qtApplication);
    // What the toolkit has not taken of the command line must be ours.
    const TCommandLine options = ParseCommandLine(argc, argv, true);
    if (const int code = AnswerCommandLine(options, argv[0]); code >= 0)
        return code;
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
        if (!options.RemoteMachineName.empty())
            MainForm->SetRemoteMachine(options.RemoteMachineName);
        application.CreateForm(FindCheckPointForm);
        application.Run();
    } catch (const std::exception& error) {
        application.ShowException(&error);
    } catch (...) {
        application.ShowException(nullptr);
    }
    return 0;
}
