// Qt's own translations (standard buttons, file dialogs, edit context menus, calendar pop-ups) for the user's
// locale, so that the toolkit's texts speak the language of the session around the program's own texts.
#pragma once

class QCoreApplication;
class QLocale;

// Installs Qt's base translation for `locale` (the session's locale by default) from Qt's translations folder.
// Returns true when one was found and installed; in a locale without one (C, English) Qt keeps its own texts.
bool InstallQtTranslations(QCoreApplication& application);
bool InstallQtTranslations(QCoreApplication& application, const QLocale& locale);
