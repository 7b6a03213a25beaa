#include "forms/Controls.h"

#include "forms/UiSeam.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

// Draws each cell with its column's alignment unless the item sets one of its own.
class TColumnAlignDelegate : public QStyledItemDelegate {
public:
    TColumnAlignDelegate(QTreeWidget* view) : QStyledItemDelegate(view), m_view(view) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(Qt::TextAlignmentRole).isValid())
            return;
        if (const QTreeWidgetItem* header = m_view->headerItem()) {
            const QVariant alignment = header->data(index.column(), Qt::TextAlignmentRole);
            if (alignment.isValid())
                option->displayAlignment =
                    Qt::Alignment(alignment.toInt() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
        }
    }

private:
    QTreeWidget* m_view;
};

} // namespace

TComboBox::TComboBox(QWidget* parent, bool editable) : QComboBox(parent) {
    setEditable(editable);
    // Typed texts are never added to the list.
    setInsertPolicy(QComboBox::NoInsert);
    if (QLineEdit* edit = lineEdit())
        edit->installEventFilter(this);
}

int TComboBox::AddItem(const QString& text, const QVariant& data) {
    int index = count();
    if (m_sorted) {
        // The items are kept in order, so the place after the last item not greater than the text is found by
        // halving: filling a list of n items takes n log n comparisons, not n squared.
        const QString key = text.toLower();
        int low = 0;
        while (low < index) {
            const int middle = low + (index - low) / 2;
            if (QString::localeAwareCompare(itemText(middle).toLower(), key) <= 0)
                low = middle + 1;
            else
                index = middle;
        }
    }
    if (!isEditable()) {
        insertItem(index, text, data);
        return index;
    }
    // Inserting into an empty editable box would make the new item current and replace the edit text.
    const QString kept = currentText();
    const bool wasEmpty = count() == 0;
    {
        QSignalBlocker blocker(this);
        insertItem(index, text, data);
        if (wasEmpty)
            setCurrentIndex(-1);
    }
    if (lineEdit() && lineEdit()->text() != kept)
        lineEdit()->setText(kept);
    return index;
}

void TComboBox::ClearItems() {
    if (!isEditable()) {
        clear();
        return;
    }
    const QString kept = currentText();
    {
        QSignalBlocker blocker(this);
        clear();
    }
    if (lineEdit() && lineEdit()->text() != kept)
        lineEdit()->setText(kept);
}

QString TComboBox::Text() const {
    return currentText();
}

void TComboBox::SetText(const QString& text) {
    if (isEditable()) {
        setEditText(text);
        return;
    }
    setCurrentIndex(findText(text));
}

void TComboBox::showPopup() {
    emit DropDown();
    QComboBox::showPopup();
}

bool TComboBox::AcceptsTyping(int added) const {
    if (m_maxLength <= 0 || !lineEdit())
        return true;
    const QLineEdit* edit = lineEdit();
    const int remaining = static_cast<int>(edit->text().size() - edit->selectedText().size());
    return remaining + added <= m_maxLength;
}

bool TComboBox::eventFilter(QObject* watched, QEvent* event) {
    QLineEdit* edit = lineEdit();
    if (watched == edit && m_maxLength > 0 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste)) {
            // Paste only what still fits.
            const int room = m_maxLength - static_cast<int>(edit->text().size() - edit->selectedText().size());
            const QString pasted = QApplication::clipboard()->text();
            if (room > 0)
                edit->insert(pasted.left(room));
            return true;
        }
        const QString typed = key->text();
        const bool printable =
            !typed.isEmpty() && typed.at(0).isPrint() && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (printable && !AcceptsTyping(static_cast<int>(typed.size())))
            return true;
    }
    return QComboBox::eventFilter(watched, event);
}

namespace {

QFont FontOf(QStringList families) {
    // Faces of about Tahoma's width first: the window's fixed sizes were made for it.
    families << "Liberation Sans"
             << "Arimo"
             << "Arial"
             << "Nimbus Sans"
             << "Helvetica"
             << "DejaVu Sans Condensed"
             << "DejaVu Sans";
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(11);
    return font;
}

} // namespace

QFont ConsoleFont() {
    return FontOf({"Tahoma"});
}

QFont CaptionFont() {
    return FontOf({"MS Sans Serif", "Tahoma"});
}

void SetHint(QWidget* control, const QString& hint) {
    control->setStatusTip(hint);
    control->setToolTip(QString());
    // A screen reader reads the hint as the control's description (it is never shown as a tooltip).
    control->setAccessibleDescription(hint.trimmed());
}

void NameControlsForScreenReaders(QWidget* window) {
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        QWidget* control = label->buddy();
        if (!control || !control->accessibleName().isEmpty())
            continue;
        QString name = label->text();
        name.remove(QLatin1Char('&'));
        name = name.trimmed();
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        control->setAccessibleName(name.trimmed());
    }
    for (QComboBox* box : window->findChildren<QComboBox*>()) {
        const QString name = box->accessibleName();
        if (name.isEmpty())
            continue;
        // The edit and the drop-down list are what has the focus while the box is used.
        if (box->lineEdit())
            box->lineEdit()->setAccessibleName(name);
        box->view()->setAccessibleName(name);
        // Under Linux a screen reader hears a combo box's current item as its name and takes what the box is
        // for from the label that names it: a box without one gets a label nobody sees.
        bool labelled = false;
        for (const QLabel* label : box->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
            labelled = labelled || label->buddy() == box;
        if (!labelled) {
            auto* label = new QLabel(name, box->parentWidget());
            label->setBuddy(box);
            label->hide();
        }
    }
}

TStatusHints::TStatusHints(QStatusBar* bar) : QObject(bar), m_bar(bar) {
    qApp->installEventFilter(this);
}

TStatusHints::~TStatusHints() {
    if (qApp)
        qApp->removeEventFilter(this);
}

QString TStatusHints::HintOf(const QWidget* control) {
    for (const QWidget* w = control; w; w = w->parentWidget()) {
        if (!w->statusTip().isEmpty())
            return w->statusTip();
        if (w->isWindow())
            break;
    }
    return {};
}

bool TStatusHints::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::Enter || type == QEvent::Leave || type == QEvent::ToolTip || type == QEvent::StatusTip) &&
        watched->isWidgetType() && m_bar) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() != m_bar->window())
            return false;
        if (type == QEvent::ToolTip)
            return widget->toolTip().isEmpty(); // hints are never shown as tooltips
        if (type == QEvent::StatusTip)
            return true; // the bar follows the mouse here, not Qt's own status tips
        if (type == QEvent::Enter)
            m_bar->showMessage(HintOf(widget));
        else if (widget->parentWidget())
            m_bar->showMessage(HintOf(widget->parentWidget()));
        else
            m_bar->clearMessage();
    }
    return false;
}

void KeepSelectionVisible(QWidget* view) {
    QPalette palette = view->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    view->setPalette(palette);
}

TBulkUpdate::TBulkUpdate(QWidget* view) : m_view(view) {
    m_view->setUpdatesEnabled(false);
}

TBulkUpdate::~TBulkUpdate() {
    m_view->setUpdatesEnabled(true);
}

QLabel* MakeLabel(const char* name, const QString& caption, QWidget* parent, const QRect& geometry) {
    auto* label = Named<QLabel>(name, caption, parent);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLineEdit* MakeEdit(const char* name, QWidget* parent, const QRect& geometry) {
    auto* edit = Named<QLineEdit>(name, parent);
    edit->setGeometry(geometry);
    return edit;
}

QRect FitIntoArea(const QRect& frame, const QRect& area) {
    if (area.isEmpty() || area.contains(frame))
        return frame;
    QRect fitted(frame.topLeft(), frame.size().boundedTo(area.size()));
    fitted.moveLeft(std::clamp(fitted.left(), area.left(), area.right() - fitted.width() + 1));
    fitted.moveTop(std::clamp(fitted.top(), area.top(), area.bottom() - fitted.height() + 1));
    return fitted;
}

void FitOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QMargins frame = window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
    // A window's position is that of its frame; its size is that of its client area.
    const QRect outer(window->pos(), window->size().grownBy(frame));
    const QRect fitted = FitIntoArea(outer, area);
    if (fitted == outer)
        return;
    window->resize(fitted.size().shrunkBy(frame));
    // A window that cannot shrink that far keeps its top left corner in the area.
    window->move(FitIntoArea(QRect(fitted.topLeft(), window->size().grownBy(frame)), area).topLeft());
}

void SetupListView(QTreeWidget* view, const std::vector<TListColumn>& columns) {
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setColumnCount(static_cast<int>(columns.size()));
    QStringList captions;
    for (const TListColumn& column : columns)
        captions << column.caption;
    view->setHeaderLabels(captions);
    QHeaderView* header = view->header();
    header->setSectionsMovable(false);
    header->setStretchLastSection(!columns.empty() && columns.back().width < 0);
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        view->headerItem()->setTextAlignment(i, columns[i].alignment | Qt::AlignVCenter);
        if (columns[i].width >= 0)
            view->setColumnWidth(i, columns[i].width);
    }
    view->setItemDelegate(new TColumnAlignDelegate(view));
    KeepSelectionVisible(view);
}

TFileDialog::TFileDialog(TFileDialogKind kind, QObject* parent) : QObject(parent), Kind(kind) {}

QStringList TFileDialog::NameFilters() const {
    QStringList result;
    const QStringList parts = Filter.split('|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i);
        const QString pattern = parts.at(i + 1);
        // Qt reads the patterns from the parentheses; make sure they are there.
        if (!description.contains('(' + pattern + ')'))
            description += " (" + QString(pattern).replace(';', ' ') + ')';
        result << description;
    }
    return result;
}

bool TFileDialog::Execute(QWidget* parent) {
    return UiSeam::ExecuteFileDialog(*this, parent);
}

TTextPane::TTextPane(int maxLines, QWidget* parent) : QPlainTextEdit(parent), m_maxLines(maxLines) {
    setReadOnly(true);
    setFrameShape(QFrame::NoFrame);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    // The panel shows through, as behind a label: the pane shows a result, it takes no input.
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::transparent);
    setPalette(colours);
    viewport()->setAutoFillBackground(false);
    hide();
}

void TTextPane::setText(const QString& text) {
    setPlainText(text);
    setVisible(!text.isEmpty());
    FitHeight();
}

void TTextPane::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    FitHeight(); // the wrapping follows the width
}

void TTextPane::FitHeight() {
    const QFontMetrics metrics(font());
    // The document margin above and below, the frame, and a little room QPlainTextEdit keeps under the last line.
    const int margins = 2 * static_cast<int>(document()->documentMargin()) + 2 * frameWidth() + metrics.descent();
    const int width = std::max(1, viewport()->width() - 2 * static_cast<int>(document()->documentMargin()));
    const int textHeight =
        metrics.boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWrapAnywhere, toPlainText()).height();
    const int height = std::min(std::max(textHeight, metrics.lineSpacing()), m_maxLines * metrics.lineSpacing());
    if (height + margins != this->height())
        setFixedHeight(height + margins);
}
