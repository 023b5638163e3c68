#include "TFileOpenEdit.h"

#include "TBevelLabel.h"
#include "TBevelSettings.h"
#include "TQtFileOpenDialog.h"

#include <QFocusEvent>
#include <QImage>
#include <QPixmap>
#include <QDir>
#include <QToolButton>
#include <QValidator>

#include <array>

namespace {

// The open folder, 14 x 13: yellow and white flap, olive body, black
// outline; '.' is the background, drawn transparent.
constexpr std::array<const char*, 13> kFolder = {
    "..............",
    "...kkkk.......",
    "..kywywk......",
    ".kywywywkkkk..",
    ".kwywywywywk..",
    ".kywywkkkkkkkk",
    ".kwywkoooooook",
    ".kywkoooooook.",
    ".kwkoooooook..",
    ".kkoooooook...",
    ".koooooook....",
    ".kkkkkkkkk....",
    "..............",
};

// A path pasted as Explorer's "Copy as path" gives it, in double quotes,
// is taken without them: no file name holds a double quote on Windows, and
// a name that both begins and ends with one is not worth the surprise
// elsewhere.
class QuotedPathValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& pos) const override
    {
        const QString trimmed = input.trimmed();
        if (trimmed.size() >= 2 && trimmed.startsWith(u'"') && trimmed.endsWith(u'"') &&
            trimmed.count(u'"') == 2) {
            input = trimmed.mid(1, trimmed.size() - 2);
            pos = static_cast<int>(input.size());
        }
        return Acceptable;
    }
};

TFileOpenDialogFactory realDialog()
{
    return [] { return std::make_unique<TQtFileOpenDialog>(); };
}

} // namespace

TFileOpenEdit::TFileOpenEdit(QWidget* parent)
    : TBevelEdit(parent)
    , button_(new QToolButton(this))
    , factory_(realDialog())
{
    // Paths are file system names: no Windows-1252 cut for them.
    SetWindows1252Only(false);
    setValidator(new QuotedPathValidator(this));
    button_->setIcon(QIcon(FolderGlyph()));
    button_->setIconSize(QSize(14, 13));
    button_->setAutoRaise(true);
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setCursor(Qt::ArrowCursor);
    button_->setToolTip(tr("Browse"));
    connect(button_, &QToolButton::clicked, this, &TFileOpenEdit::Browse);
    UpdateLayout();
}

TFileOpenEdit::~TFileOpenEdit() = default;

QPixmap TFileOpenEdit::FolderGlyph()
{
    QImage image(14, 13, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < static_cast<int>(kFolder.size()); ++y) {
        for (int x = 0; x < 14; ++x) {
            QColor color;
            switch (kFolder[y][x]) {
            case 'k': color = Qt::black; break;
            case 'y': color = QColor(255, 255, 0); break;
            case 'w': color = Qt::white; break;
            case 'o': color = QColor(128, 128, 0); break;
            default: continue;
            }
            image.setPixelColor(x, y, color);
        }
    }
    return QPixmap::fromImage(image);
}

QString TFileOpenEdit::Filename() const
{
    return showingMinimized_ ? fullName_ : text();
}

void TFileOpenEdit::SetFilename(const QString& name)
{
    if (name == Filename())
        return;
    if (minimizeName_ && !hasFocus()) {
        fullName_ = name;
        showingMinimized_ = true;
        ShowMinimized();
    } else {
        BeginUpdate();
        setText(name);
        EndUpdate();
        setCursorPosition(0);
        deselect();
    }
    if (!UpdateLocked())
        emit OnChange(this);
}

void TFileOpenEdit::SetMinimizeName(bool on)
{
    if (minimizeName_ == on)
        return;
    minimizeName_ = on;
    if (on && !hasFocus()) {
        ShowMinimized();
    } else if (!on && showingMinimized_) {
        showingMinimized_ = false;
        BeginUpdate();
        setText(fullName_);
        EndUpdate();
        setCursorPosition(0);
    }
}

void TFileOpenEdit::ShowMinimized()
{
    if (!showingMinimized_)
        fullName_ = text();
    showingMinimized_ = true;
    const QMargins m = textMargins();
    // QLineEdit keeps two pixels on either side of the text.
    const int room = width() - m.left() - m.right() - 4;
    BeginUpdate();
    setText(TBevelLabel::PathEllipsis(fullName_, fontMetrics(), room));
    EndUpdate();
    setCursorPosition(0);
}

void TFileOpenEdit::SetCustomButtonWidth(int width)
{
    buttonWidth_ = qMax(width, 0);
    UpdateLayout();
}

void TFileOpenEdit::SetDialogFactory(TFileOpenDialogFactory factory)
{
    factory_ = factory ? std::move(factory) : realDialog();
}

void TFileOpenEdit::Browse()
{
    struct Flag {
        bool& flag;
        bool old;
        explicit Flag(bool& f) : flag(f), old(f) { flag = true; }
        ~Flag() { flag = old; }
    } browsing(browsing_);

    emit OnBeforeBrowse(this);
    if (!hasFocus())
        setFocus(Qt::OtherFocusReason);
    {
        // Destroyed at the end of this block on every way out.
        std::unique_ptr<IFileOpenDialog> dialog = factory_();
        dialog->SetOptions(options_);
        dialog->SetTitle(title_);
        dialog->SetInitialDir(initialDir_);
        dialog->SetFilter(filter_);
        dialog->SetDefaultExt(defaultExt_);
        // The system's own separators, as a typed path has them.
        if (dialog->Execute(this)) {
            QStringList files;
            for (const QString& file : dialog->FileNames())
                files.append(QDir::toNativeSeparators(file));
            if (files.isEmpty())
                files.append(QDir::toNativeSeparators(dialog->FileName()));
            SetFilename(files.first());
            emit OnFilesChosen(files);
        }
    }
    emit OnBrowse(this);
}

void TFileOpenEdit::focusInEvent(QFocusEvent* event)
{
    if (showingMinimized_) {
        showingMinimized_ = false;
        BeginUpdate();
        setText(fullName_);
        EndUpdate();
        setCursorPosition(0);
    }
    TBevelEdit::focusInEvent(event);
}

void TFileOpenEdit::focusOutEvent(QFocusEvent* event)
{
    TBevelEdit::focusOutEvent(event);
    // A long path shows its beginning again once the user leaves the box.
    if (event->reason() == Qt::PopupFocusReason)
        return;
    setCursorPosition(0);
    if (minimizeName_)
        ShowMinimized();
}

void TFileOpenEdit::resizeEvent(QResizeEvent* event)
{
    TBevelEdit::resizeEvent(event);
    UpdateLayout();
}

void TFileOpenEdit::UpdateLayout()
{
    if (!button_) {
        TBevelEdit::UpdateLayout();
        return;
    }
    const int buttons = 1;
    // The text area ends (buttons x width + 1) pixels before the inner
    // right edge; button i starts one pixel after it.
    const int reserve = buttons * buttonWidth_ + 1;
    if (RightReserve() != reserve) {
        SetRightReserve(reserve); // calls back here with the reserve in place
        return;
    }
    TBevelEdit::UpdateLayout();
    const int frame = Bevel()->FrameWidth();
    const int textRight = width() - frame - reserve;
    button_->setGeometry(textRight + 1, frame, buttonWidth_, qMax(height() - 2 * frame, 0));
}
