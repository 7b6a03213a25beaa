#include "forms/Pointslist.h"

#include "forms/Controls.h"
#include "forms/UiSeam.h"

#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

TPointsListForm* PointsListForm = nullptr;

namespace {

constexpr char16_t EscapeKey = 27;

TPointsListForm::TShownHook& ShownHook() {
    static TPointsListForm::TShownHook hook;
    return hook;
}

// The character a key press produces (Escape also when the platform sends no text for it); 0 for none.
char16_t KeyChar(const QKeyEvent& event) {
    if (event.key() == Qt::Key_Escape)
        return EscapeKey;
    const QString text = event.text();
    return text.size() == 1 ? text.front().unicode() : char16_t{0};
}

} // namespace

TPointsListForm::TPointsListForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PointsListForm"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(ConsoleFont());
    setWindowTitle(QString());
    resize(692, 232);

    auto* clientLayout = new QVBoxLayout(this);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    Panel = new QFrame(this);
    Panel->setObjectName(QStringLiteral("Panel"));
    Panel->setFrameShape(QFrame::NoFrame);
    clientLayout->addWidget(Panel);

    auto* panelLayout = new QVBoxLayout(Panel);
    panelLayout->setContentsMargins(8, 8, 8, 8);
    PointsListView = new QTreeWidget(Panel);
    PointsListView->setObjectName(QStringLiteral("PointsListView"));
    const Qt::Alignment right = Qt::AlignRight;
    SetupListView(PointsListView, {{"№", 28},
                                   {"Начальная точка", 120},
                                   {"Начало", 120, right},
                                   {"Конечная точка", 120},
                                   {"Окончание", 120, right},
                                   {"Прод-сть общая", 100, right},
                                   {"Пробег", 60, right},
                                   {"НУТ1", 60, right},
                                   {"КУТ1", 60, right},
                                   {"НУТ2", 60, right},
                                   {"КУТ2", 60, right},
                                   {"МЧ1", 60, right},
                                   {"МЧ2", 60, right},
                                   {"Расход 1", 60, right},
                                   {"Расход 2", 60, right}});
    PointsListView->setAccessibleName(QStringLiteral("Записи рейса"));
    PointsListView->resize(676, 216);
    panelLayout->addWidget(PointsListView);

    // Keyboard preview: the window sees key presses before the list does.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    PointsListView->setFocus();
}

void TPointsListForm::FormKeyPress(QObject*, char16_t& Key) {
    if (Key == EscapeKey) {
        Key = 0;
        close();
    }
}

bool TPointsListForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        char16_t key = KeyChar(*static_cast<QKeyEvent*>(event));
        if (key != 0) {
            FormKeyPress(this, key);
            if (key == 0)
                return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TPointsListForm::ShowModal() {
    PointsListView->setFocus();
    QTimer::singleShot(0, this, [this] {
        if (const TShownHook hook = ShownHook())
            hook(*this);
        else if (UiSeam::Scripted())
            close();
    });
    exec();
}

void TPointsListForm::SetShownHook(TShownHook hook) {
    ShownHook() = std::move(hook);
}
