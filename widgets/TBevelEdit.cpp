#include "TBevelEdit.h"

#include "TBevelSettings.h"
#include "Windows1252.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QValidator>

#include <limits>

namespace {

// Refuses typed or pasted characters that have no Windows-1252 byte, so
// what the box shows is what Text() returns. Turning them into "?" changed
// the user's character silently.
class Windows1252Validator : public QValidator {
public:
    explicit Windows1252Validator(TBevelEdit* edit) : QValidator(edit), edit_(edit) {}

    State validate(QString& input, int& pos) const override
    {
        Q_UNUSED(pos);
        if (Windows1252::Sanitize(input) == input)
            return Acceptable;
        emit edit_->OnRefused(edit_);
        return Invalid;
    }

private:
    TBevelEdit* edit_;
};

// QLineEdit's own limit; "no limit" has to be expressed as its largest value.
constexpr int kUnlimited = std::numeric_limits<int>::max();

} // namespace

TBevelEdit::TBevelEdit(QWidget* parent)
    : QLineEdit(parent)
    , bevel_(new TBevelSettings(this))
{
    setFrame(false);
    QLineEdit::setMaxLength(kUnlimited);
    setCursor(Qt::IBeamCursor);
    setFocusPolicy(Qt::StrongFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    setPalette(pal);
    resize(121, 21);
    SetWindows1252Only(true);
    ShowSelection(false);
    connect(this, &QLineEdit::textChanged, this, &TBevelEdit::HandleTextChanged);
    connect(bevel_, &TBevelSettings::changed, this, [this] {
        UpdateLayout();
        update();
    });
    UpdateLayout();
}

std::string TBevelEdit::Text() const
{
    return Windows1252::Encode(text());
}

void TBevelEdit::SetText(std::string_view bytes)
{
    const QString next = Windows1252::Decode(bytes);
    const QString before = text();
    if (next == before)
        return;
    // The event has to come after the caret is back at the start, so the
    // line edit's own notification is held back here and raised below.
    settingText_ = true;
    setText(next);
    settingText_ = false;
    setCursorPosition(0);
    deselect();
    if (text() != before && !UpdateLocked())
        emit OnChange(this);
}

void TBevelEdit::EditText(std::string_view bytes)
{
    const QString next = Windows1252::Decode(bytes);
    if (next == text())
        return;
    selectAll();
    insert(next);
}

void TBevelEdit::SetMaxLength(int length)
{
    length = qMax(length, 0);
    if (maxLength_ == length)
        return;
    maxLength_ = length;
    // Cutting the text is a change like any other and is reported as one.
    QLineEdit::setMaxLength(length == 0 ? kUnlimited : length);
}

void TBevelEdit::BeginUpdate()
{
    ++updateLock_;
}

void TBevelEdit::EndUpdate()
{
    if (updateLock_ > 0)
        --updateLock_;
}

int TBevelEdit::SelStart() const
{
    return hasSelectedText() ? selectionStart() : cursorPosition();
}

void TBevelEdit::SetSelStart(int position)
{
    setCursorPosition(qBound(0, position, static_cast<int>(text().size())));
}

int TBevelEdit::SelLength() const
{
    return hasSelectedText() ? static_cast<int>(selectedText().size()) : 0;
}

void TBevelEdit::SetSelLength(int length)
{
    const int start = SelStart();
    const int available = static_cast<int>(text().size()) - start;
    length = qBound(0, length, available);
    if (length == 0) {
        setCursorPosition(start);
        return;
    }
    setSelection(start, length);
}

void TBevelEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    if (tabMark_ && text() == QStringLiteral("\t"))
        PaintTabMark(painter);
    bevel_->Paint(painter, rect(), palette());
}

void TBevelEdit::SetTabMark(bool on)
{
    if (tabMark_ == on)
        return;
    tabMark_ = on;
    update();
}

void TBevelEdit::PaintTabMark(QPainter& painter) const
{
    // Where the line edit puts its text: inside the style's contents, the
    // text margins and its own two pixels either side.
    QStyleOptionFrame option;
    initStyleOption(&option);
    QRect area = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    area = area.marginsRemoved(textMargins()).adjusted(2, 0, -2, 0);
    const QPalette::ColorRole role = hasSelectedText() ? QPalette::HighlightedText : QPalette::Text;
    painter.setPen(palette().color(role));
    painter.setFont(font());
    painter.drawText(area, static_cast<int>(Qt::AlignVCenter | (alignment() & Qt::AlignHorizontal_Mask)),
                     QString(kTabMark));
}

void TBevelEdit::focusInEvent(QFocusEvent* event)
{
    ShowSelection(true);
    const int caret = cursorPosition();
    const bool hadSelection = hasSelectedText();
    QLineEdit::focusInEvent(event);
    // QLineEdit selects everything when tabbed into; that is AutoSelect's
    // job here and it is off by default.
    if (!autoSelect_ && !hadSelection && hasSelectedText())
        setCursorPosition(caret);
}

void TBevelEdit::focusOutEvent(QFocusEvent* event)
{
    // QLineEdit drops its selection when it loses the focus; this box keeps
    // it (only hides it), so coming back finds it where it was.
    const int start = selectionStart();
    const int length = SelLength();
    const bool caretAtStart = cursorPosition() == start;
    QLineEdit::focusOutEvent(event);
    if (start >= 0 && length > 0 && !hasSelectedText()) {
        if (caretAtStart)
            setSelection(start + length, -length);
        else
            setSelection(start, length);
    }
    // A context menu takes the focus only for a moment.
    if (hideSelection_ && event->reason() != Qt::PopupFocusReason)
        ShowSelection(false);
}

void TBevelEdit::SetHideSelection(bool on)
{
    if (hideSelection_ == on)
        return;
    hideSelection_ = on;
    ShowSelection(!on || hasFocus());
}

void TBevelEdit::ShowSelection(bool shown)
{
    if (!hideSelection_)
        shown = true;
    if (selectionShown_ == shown)
        return;
    selectionShown_ = shown;
    // QLineEdit always draws its selection; hiding it means painting it in
    // the box's own colours while the focus is elsewhere.
    QPalette pal = palette();
    for (int g = 0; g < QPalette::NColorGroups; ++g) {
        const auto group = static_cast<QPalette::ColorGroup>(g);
        if (shown) {
            pal.setBrush(group, QPalette::Highlight, shownPalette_.brush(group, QPalette::Highlight));
            pal.setBrush(group, QPalette::HighlightedText,
                         shownPalette_.brush(group, QPalette::HighlightedText));
        } else {
            shownPalette_.setBrush(group, QPalette::Highlight, pal.brush(group, QPalette::Highlight));
            shownPalette_.setBrush(group, QPalette::HighlightedText,
                                   pal.brush(group, QPalette::HighlightedText));
            pal.setBrush(group, QPalette::Highlight, pal.brush(group, QPalette::Base));
            pal.setBrush(group, QPalette::HighlightedText, pal.brush(group, QPalette::Text));
        }
    }
    setPalette(pal);
}

bool TBevelEdit::IsCommandChord(Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers chord = modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
#ifdef _WIN32
    // Windows reports AltGr as Ctrl+Alt: that is how a backslash, "@" or "{"
    // are typed on many keyboards: typing, not a command.
    if (chord == (Qt::ControlModifier | Qt::AltModifier))
        return false;
#endif
    return chord != Qt::NoModifier;
}

void TBevelEdit::keyPressEvent(QKeyEvent* event)
{
    const QString typed = event->text();
    if (!typed.isEmpty() && IsCommandChord(event->modifiers())) {
        // Alt+G where nothing answers it must not put a "g" into the box.
        // The edit's own chords (Ctrl+V, Ctrl+A, ...) go by the key, not the
        // text, so they still work.
        QKeyEvent keyOnly(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                          event->nativeVirtualKey(), event->nativeModifiers(), QString(),
                          event->isAutoRepeat(), event->count());
        QLineEdit::keyPressEvent(&keyOnly);
        event->setAccepted(keyOnly.isAccepted());
        return;
    }
    const bool printable = !typed.isEmpty() && typed.at(0).isPrint()
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (overwrite_ && printable && !hasSelectedText() && !isReadOnly()) {
        // Selecting what the typed text covers turns the insertion into one
        // replacement, so it stays a single change.
        const int caret = cursorPosition();
        const int covered = qMin(static_cast<int>(typed.size()), static_cast<int>(text().size()) - caret);
        if (covered > 0)
            setSelection(caret, covered);
    }
    QLineEdit::keyPressEvent(event);
}

void TBevelEdit::SetWindows1252Only(bool on)
{
    if (on == (validator_ != nullptr))
        return;
    if (on) {
        validator_ = new Windows1252Validator(this);
        setValidator(validator_);
    } else {
        setValidator(nullptr);
        delete validator_;
        validator_ = nullptr;
    }
}

void TBevelEdit::SetRightReserve(int pixels)
{
    rightReserve_ = qMax(pixels, 0);
    UpdateLayout();
}

void TBevelEdit::UpdateLayout()
{
    const int frame = bevel_->FrameWidth();
    setTextMargins(frame, frame, frame + rightReserve_, frame);
}

void TBevelEdit::HandleTextChanged()
{
    // QLineEdit also reports edits that end in the same text (a character
    // pasted over itself); those are no change.
    const QString now = text();
    if (now == lastText_)
        return;
    lastText_ = now;
    if (settingText_ || UpdateLocked())
        return;
    emit OnChange(this);
}
