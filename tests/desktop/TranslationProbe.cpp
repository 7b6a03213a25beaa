// Prints the texts of the standard buttons of the console's result-check prompt (Yes, No, Cancel) after loading
// Qt's translations as the console does, one per line; the translation test runs it under several locales.
#include "platform/qt/QtTranslations.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    InstallQtTranslations(application);
    QMessageBox box(QMessageBox::Question, QStringLiteral("НавиЛОКС OLE"), QString(),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    for (const auto button : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel})
        std::printf("%s\n", box.button(button)->text().toUtf8().constData());
    return 0;
}
