// The application object: title, COM for the user-interface thread, the windows it owns, the standard error box
// and message boxes. It is also the owner (TComponent) of the automation object, which it destroys at the end.
#pragma once

#include "automation/Component.h"

#include <QObject>
#include <QString>
#include <QWidget>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class TApplication : public QObject, public TComponent {
    Q_OBJECT
public:
    // Needs a QApplication. Becomes the application-wide `Application`.
    TApplication();
    ~TApplication() override;

    // Initialises COM for this thread and installs the failure prompt and the event error handler.
    void Initialize();
    QString Title() const { return m_title; }
    void SetTitle(const QString& title);

    // Creates a window owned by the application and stores it in `reference`; the first one is the main window.
    template <class T> void CreateForm(T*& reference) {
        auto form = std::make_unique<T>(nullptr);
        reference = form.get();
        if (!m_mainForm)
            m_mainForm = form.get();
        m_forms.push_back(std::move(form));
    }
    QWidget* MainFormWidget() const { return m_mainForm; }
    // Shows the main window and runs the message loop until it closes.
    int Run();

    // The standard error box: error icon, OK, captioned with the title. An error that is not of the runtime's
    // error class (or none) shows an empty message.
    void ShowException(const std::exception* error);
    int MessageBox(const QString& text, const QString& caption, unsigned flags);

private:
    QString m_title;
    QWidget* m_mainForm = nullptr;
    std::vector<std::unique_ptr<QWidget>> m_forms;
    bool m_comInitialized = false;
    bool m_hooksInstalled = false;
};

extern TApplication* Application;

// Runs a handler so that no error escapes into Qt: an error ends the handler and is shown with the standard
// error box.
void Guarded(const std::function<void()>& handler);
// Runs a server event's handler now, unless it arrives in the message loop of a box or the failure prompt that a
// handler is showing: then it runs once the outermost handler has returned, in arrival order. So no handler
// resumes on a window that a server event has disconnected or rebuilt underneath it.
void RunServerEvent(std::function<void()> action);
bool HandlerRunning();
