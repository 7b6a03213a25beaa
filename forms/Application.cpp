#include "forms/Application.h"

#include "automation/Navilonix_OCX.h"
#include "forms/UiSeam.h"
#include "platform/ole/Registry.h"
#include "platform/rtl/Exceptions.h"

#include <QApplication>

#include <cstdio>
#include <deque>

TApplication* Application = nullptr;

TApplication::TApplication() : QObject(nullptr), TComponent(nullptr) {
    Application = this;
}

TApplication::~TApplication() {
    // The automation object (and any other owned component) goes first, while the windows still exist.
    DestroyComponents();
    while (!m_forms.empty())
        m_forms.pop_back();
    m_mainForm = nullptr;
    if (m_hooksInstalled) {
        SetEventErrorHandler(nullptr);
        SetHrCheckPrompt(nullptr);
        SetEventPoster(nullptr);
    }
    if (m_comInitialized)
        CoUninitialize();
    if (Application == this)
        Application = nullptr;
}

void TApplication::Initialize() {
    if (!m_comInitialized)
        m_comInitialized = CoInitialize(nullptr) >= 0;
    SetHrCheckPrompt([](const std::string& caption, const std::string& text) {
        return UiSeam::ShowMessageBox(nullptr, QString::fromStdString(text), QString::fromStdString(caption),
                                      MB_YESNOCANCEL | MB_ICONQUESTION | MB_TASKMODAL);
    });
    SetEventErrorHandler([this](const std::exception& error) { ShowException(&error); });
    // Server events held back during a call run from the event loop, as events over the bus do.
    SetEventPoster([](std::function<void()> work) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
    });
    m_hooksInstalled = true;
}

void TApplication::SetTitle(const QString& title) {
    // Kept apart from Qt's display name, which the X11 platform would append to every window caption.
    m_title = title;
}

int TApplication::Run() {
    if (m_mainForm) {
        m_mainForm->show();
        QApplication::exec();
    }
    return 0;
}

void TApplication::ShowException(const std::exception* error) {
    const auto* runtimeError = dynamic_cast<const Exception*>(error);
    const QString message = runtimeError ? QString::fromStdString(runtimeError->Message()) : QString();
    UiSeam::ShowMessageBox(m_mainForm, message, m_title, MB_OK | MB_ICONERROR);
}

int TApplication::MessageBox(const QString& text, const QString& caption, unsigned flags) {
    return UiSeam::ShowMessageBox(m_mainForm, text, caption, flags);
}

namespace {

int g_handlerDepth = 0;
std::deque<std::function<void()>> g_deferredEvents;

// Counts the handlers on the stack; when the outermost one ends, runs the server events that waited for it.
class THandlerScope {
public:
    THandlerScope() { ++g_handlerDepth; }
    ~THandlerScope() {
        if (--g_handlerDepth > 0)
            return;
        while (!g_deferredEvents.empty()) {
            std::function<void()> next = std::move(g_deferredEvents.front());
            g_deferredEvents.pop_front();
            Guarded(next);
        }
    }
    THandlerScope(const THandlerScope&) = delete;
    THandlerScope& operator=(const THandlerScope&) = delete;
};

} // namespace

bool HandlerRunning() {
    return g_handlerDepth > 0;
}

void RunServerEvent(std::function<void()> action) {
    if (g_handlerDepth > 0 && UiSeam::OpenBoxes() > 0)
        g_deferredEvents.push_back(std::move(action));
    else
        Guarded(action);
}

void Guarded(const std::function<void()>& handler) {
    THandlerScope scope;
    try {
        handler();
    } catch (const std::exception& error) {
        if (Application)
            Application->ShowException(&error);
        else
            std::fprintf(stderr, "%s\n", error.what());
    } catch (...) {
        if (Application)
            Application->ShowException(nullptr);
        else
            std::fprintf(stderr, "Unknown error\n");
    }
}
