// The one way the console shows message boxes, the standard error box, the failure prompt and file dialogs.
// In normal use each appears on screen; tests switch the seam to scripted mode, queue the next answers and read
// what would have been shown.
#pragma once

#include "automation/MessageAnswers.h"

#include <QString>

#include <functional>
#include <vector>

class QWidget;
class TFileDialog;

// Message box flags (buttons in the low four bits, icon in the next four); the answers are in MessageAnswers.h.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_YESNOCANCEL = 0x3;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_TASKMODAL = 0x2000;
constexpr unsigned MB_BUTTONMASK = 0xF;
constexpr unsigned MB_ICONMASK = 0xF0;

namespace UiSeam {

enum class TKind { MessageBox, FileDialog };

// One box or dialog as it was shown.
struct TShown {
    TKind kind = TKind::MessageBox;
    QString caption; // a file dialog's title
    QString text;    // a file dialog's file name as offered
    unsigned flags = 0;
};

// Scripted mode: nothing appears on screen; each box takes the next queued answer (a box without one answers
// No when it offers No, else OK; a file dialog without one is cancelled).
void SetScripted(bool scripted);
bool Scripted();
void SetNextAnswer(int answer);
// The next file dialog is accepted with this name (the dialog's default extension is added to a name without
// one, as the dialog does) and, when filterIndex > 0, this filter.
void SetNextFile(const QString& fileName, int filterIndex = 0);
void SetNextFileCancel();
const std::vector<TShown>& ShownBoxes();
// The last box or dialog shown, or an empty record when none was.
TShown LastShown();
// Forgets the queued answers, what was shown and the while-shown action.
void Reset();
// Scripted mode: runs while a box or a file dialog is "on screen", before it is answered, as the events a real
// box's or dialog's own message loop delivers would run.
void SetWhileShown(std::function<void(const TShown&)> action);

// How many message boxes are open right now (each runs a message loop of its own while it is open).
int OpenBoxes();
// Shows a message box; returns IDOK, IDCANCEL, IDYES or IDNO.
int ShowMessageBox(QWidget* parent, const QString& text, const QString& caption, unsigned flags);
// Shows a file dialog with the settings of `dialog`; on acceptance stores the file name and filter there.
bool ExecuteFileDialog(TFileDialog& dialog, QWidget* parent);

} // namespace UiSeam
