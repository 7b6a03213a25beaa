#include "forms/UiSeam.h"

#include "forms/Controls.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QTreeView>

#include <deque>

namespace {

struct TFileAnswer {
    bool accepted = false;
    QString fileName;
    int filterIndex = 0;
};

struct TSeamState {
    bool scripted = false;
    std::deque<int> answers;
    std::deque<TFileAnswer> files;
    std::vector<UiSeam::TShown> shown;
    std::function<void(const UiSeam::TShown&)> whileShown;
    int openBoxes = 0;
};

TSeamState& State() {
    static TSeamState state;
    return state;
}

int DefaultAnswer(unsigned flags) {
    switch (flags & MB_BUTTONMASK) {
    case MB_YESNOCANCEL:
    case MB_YESNO:
        return IDNO;
    default:
        return IDOK;
    }
}

QMessageBox::Icon IconOf(unsigned flags) {
    switch (flags & MB_ICONMASK) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButtons ButtonsOf(unsigned flags) {
    switch (flags & MB_BUTTONMASK) {
    case MB_OKCANCEL:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_YESNOCANCEL:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MB_YESNO:
        return QMessageBox::Yes | QMessageBox::No;
    default:
        return QMessageBox::Ok;
    }
}

int AnswerOf(int button) {
    switch (button) {
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Cancel:
        return IDCANCEL;
    default:
        return IDOK;
    }
}

// The dialog adds its default extension to a name typed without one.
QString WithDefaultExt(const QString& fileName, const QString& defaultExt) {
    if (defaultExt.isEmpty() || fileName.isEmpty() || !QFileInfo(fileName).suffix().isEmpty())
        return fileName;
    return fileName + '.' + defaultExt;
}

} // namespace

namespace UiSeam {

void SetScripted(bool scripted) {
    State().scripted = scripted;
}

bool Scripted() {
    return State().scripted;
}

void SetNextAnswer(int answer) {
    State().answers.push_back(answer);
}

void SetNextFile(const QString& fileName, int filterIndex) {
    State().files.push_back({true, fileName, filterIndex});
}

void SetNextFileCancel() {
    State().files.push_back({});
}

const std::vector<TShown>& ShownBoxes() {
    return State().shown;
}

TShown LastShown() {
    return State().shown.empty() ? TShown{} : State().shown.back();
}

void SetWhileShown(std::function<void(const TShown&)> action) {
    State().whileShown = std::move(action);
}

void Reset() {
    State().whileShown = nullptr;
    State().answers.clear();
    State().files.clear();
    State().shown.clear();
}

int OpenBoxes() {
    return State().openBoxes;
}

int ShowMessageBox(QWidget* parent, const QString& text, const QString& caption, unsigned flags) {
    TSeamState& state = State();
    struct OpenBox {
        int& count;
        explicit OpenBox(int& c) : count(c) { ++count; }
        ~OpenBox() { --count; }
    } open(state.openBoxes);
    if (state.scripted) {
        state.shown.push_back({TKind::MessageBox, caption, text, flags});
        if (state.whileShown) {
            const auto action = state.whileShown; // the action may replace itself
            action(state.shown.back());
        }
        if (state.answers.empty())
            return DefaultAnswer(flags);
        int answer = state.answers.front();
        state.answers.pop_front();
        return answer;
    }
    QMessageBox box(IconOf(flags), caption, text, ButtonsOf(flags), parent);
    if (flags & MB_TASKMODAL)
        box.setWindowModality(Qt::ApplicationModal);
    return AnswerOf(box.exec());
}

bool ExecuteFileDialog(TFileDialog& dialog, QWidget* parent) {
    TSeamState& state = State();
    if (state.scripted) {
        state.shown.push_back({TKind::FileDialog, dialog.Title, dialog.FileName, 0});
        if (state.whileShown) {
            const auto action = state.whileShown;
            action(state.shown.back());
        }
        if (state.files.empty())
            return false;
        TFileAnswer answer = state.files.front();
        state.files.pop_front();
        if (!answer.accepted)
            return false;
        dialog.FileName = WithDefaultExt(answer.fileName, dialog.DefaultExt);
        if (answer.filterIndex > 0)
            dialog.FilterIndex = answer.filterIndex;
        return true;
    }

    QFileDialog box(parent, dialog.Title);
    box.setAcceptMode(dialog.Kind == TFileDialogKind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    box.setFileMode(dialog.Kind == TFileDialogKind::Open && dialog.FileMustExist ? QFileDialog::ExistingFile
                                                                                 : QFileDialog::AnyFile);
    box.setOption(QFileDialog::DontConfirmOverwrite, !dialog.OverwritePrompt);
    const QStringList filters = dialog.NameFilters();
    box.setNameFilters(filters);
    if (dialog.FilterIndex >= 1 && dialog.FilterIndex <= filters.size())
        box.selectNameFilter(filters.at(dialog.FilterIndex - 1));
    box.setDefaultSuffix(dialog.DefaultExt);
    QFileInfo offered(dialog.FileName);
    if (!dialog.InitialDir.isEmpty())
        box.setDirectory(dialog.InitialDir);
    else if (offered.isAbsolute())
        box.setDirectory(offered.absolutePath());
    if (!dialog.FileName.isEmpty())
        box.selectFile(offered.fileName());
    // Qt's own dialog (where the desktop offers none) sizes its columns for English words: the Russian sizes, kinds
    // and dates would be cut short.
    if (auto* details = box.findChild<QTreeView*>()) {
        for (int column = 1; column < details->header()->count(); ++column)
            details->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
        box.resize(box.sizeHint().expandedTo(QSize(760, 460)));
    }
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return false;
    dialog.FileName = box.selectedFiles().constFirst();
    const qsizetype picked = filters.indexOf(box.selectedNameFilter());
    if (picked >= 0)
        dialog.FilterIndex = static_cast<int>(picked) + 1;
    return true;
}

} // namespace UiSeam
