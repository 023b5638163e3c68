#include "TReplacementRow.h"

#include "TBevelEdit.h"
#include "TBevelLabel.h"
#include "TBevelSettings.h"
#include "Windows1252.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <array>
#include <optional>

namespace {

// Room kept right of the widest control, so the last box is not flush with
// the page's edge when scrolled to the end.
constexpr int kEndMargin = 8;
constexpr int kBoxHeight = 21;
constexpr int kHintHeight = 15;
constexpr int kHintLeft = 15;

// Menu texts take "&" as an accelerator mark; a separator may be one.
QString MenuText(std::string_view bytes)
{
    QString text = TReplacementRow::ShownText(bytes);
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return text;
}

// Every character a box may show, for the room its glyphs take.
QString PrintableWindows1252()
{
    std::string bytes;
    for (int byte = 0x21; byte <= 0xFF; ++byte)
        bytes += static_cast<char>(byte);
    return Windows1252::Decode(bytes);
}

// The box's font made small enough for the glyphs of every character to
// fit between the frame's edges with a pixel to spare: the box cuts what
// reaches beyond, and so a comma's tail went (';' looked like ':', ',' like
// '.') and so did the accents of capitals.
QFont FittedBoxFont(const TBevelEdit* box)
{
    static const QString printable = PrintableWindows1252();
    const QMargins margins = box->textMargins();
    const int room = box->height() - margins.top() - margins.bottom() - 2;
    QFont font = box->font();
    int pixels = QFontInfo(font).pixelSize();
    while (pixels > 8 && QFontMetrics(font).boundingRect(printable).height() > room) {
        --pixels;
        font.setPixelSize(pixels);
    }
    return font;
}

} // namespace

QString TReplacementRow::ShownText(std::string_view bytes)
{
    QString text = Windows1252::Decode(bytes);
    text.replace(QLatin1Char('\t'), TBevelEdit::kTabMark);
    return text;
}

TReplacementRow::TReplacementRow(QWidget* page, QObject* owner)
    : QObject(owner)
    , page_(page)
    , area_(new QScrollArea(page))
    , content_(new QWidget)
    , hint_(new TBevelLabel(page))
{
    QFont hintFont(QStringLiteral("Tahoma"));
    hintFont.setPixelSize(11);
    hint_->setFont(hintFont);
    QPalette navy = hint_->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    hint_->setPalette(navy);
    hint_->Bevel()->SetMode(bmCustom);
    hint_->SetAutoSize(false);
    hint_->SetAlignment(agCenterLeft);
    hint_->SetOptions(loEndEllipsis);
    hint_->SetShowAccelChar(false);

    area_->setFrameShape(QFrame::NoFrame);
    area_->setFocusPolicy(Qt::NoFocus);
    area_->setWidgetResizable(false);
    area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area_->horizontalScrollBar()->setFocusPolicy(Qt::NoFocus);
    // The page shows through: the area is a window onto it, not a panel.
    area_->setAutoFillBackground(false);
    area_->viewport()->setAutoFillBackground(false);
    content_->setAutoFillBackground(false);
    area_->setWidget(content_);
    content_->setAutoFillBackground(false);
    page_->installEventFilter(this);
    FitToPage();

    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        // The whole box, not just its caret, comes into view.
        if (now && content_->isAncestorOf(now)) {
            const QRect box(now->mapTo(content_, QPoint(0, 0)), now->size());
            area_->ensureVisible(box.center().x(), box.center().y(), box.width() / 2 + kEndMargin, 0);
        }
        RefreshHint();
    });
}

std::vector<std::string> TReplacementRow::Texts() const
{
    std::vector<std::string> texts;
    texts.reserve(boxes_.size());
    for (const TBevelEdit* box : boxes_)
        texts.push_back(box->Text());
    return texts;
}

void TReplacementRow::Build(std::string_view templateText, std::string_view separatorSet,
                            std::size_t maxBoxes)
{
    if (templateText.empty())
        return;
    RemoveBoxes();

    std::array<bool, 256> isSeparator{};
    for (char s : separatorSet)
        isSeparator[static_cast<unsigned char>(s)] = true;

    std::optional<QFont> boxFont;
    for (char c : templateText) {
        if (!isSeparator[static_cast<unsigned char>(c)])
            continue;
        if (boxes_.size() >= maxBoxes)
            break;
        const int k = static_cast<int>(boxes_.size());
        auto* box = new TBevelEdit(content_);
        box->setAcceptDrops(false);
        box->SetTabMark(true);
        box->setGeometry(kLeft + kStep * k, kTop, kBoxWidth, kBoxHeight);
        // Every box of the row is alike; the first one measures for all.
        if (!boxFont)
            boxFont = FittedBoxFont(box);
        box->setFont(*boxFont);
        box->SetText(std::string_view(&c, 1));
        connect(box, &TBevelEdit::OnChange, this, &TReplacementRow::BoxChanged);
        connect(box, &TBevelEdit::OnRefused, this, &TReplacementRow::BoxRefused);
        box->installEventFilter(this);
        box->show();
        boxes_.push_back(box);
        separators_.push_back(c);
    }
    RefreshHint();
    UpdateExtent();
    // A new row starts at its left end, with the caption and the first box
    // in view, however far the previous row was scrolled.
    area_->horizontalScrollBar()->setValue(0);
}

void TReplacementRow::Clear()
{
    if (boxes_.empty())
        return;
    RemoveBoxes();
    RefreshHint();
    UpdateExtent();
}

void TReplacementRow::RemoveBoxes()
{
    // The old boxes go later, not now: the focus change that triggers a
    // rebuild may be handing the focus to one of them at this very moment.
    for (TBevelEdit* box : boxes_) {
        disconnect(box, nullptr, this, nullptr);
        box->removeEventFilter(this);
        box->hide();
        box->deleteLater();
    }
    boxes_.clear();
    separators_.clear();
    hovered_ = nullptr;
}

void TReplacementRow::UpdateExtent()
{
    int right = 0;
    for (const QObject* child : content_->children()) {
        const auto* widget = qobject_cast<const QWidget*>(child);
        if (widget && !widget->isHidden())
            right = std::max(right, widget->geometry().right() + 1);
    }
    const int width = std::max(area_->width(), right + kEndMargin);
    content_->resize(width, kTop + kBoxHeight);
}

void TReplacementRow::SetRestingHint(const QString& text)
{
    restingHint_ = text;
    RefreshHint();
}

void TReplacementRow::SetOccurrenceHints(const QStringList& hints)
{
    for (std::size_t k = 0; k < boxes_.size(); ++k)
        boxes_[k]->setToolTip(hints.value(static_cast<qsizetype>(k)));
    RefreshHint();
}

void TReplacementRow::SetNote(const QString& text)
{
    note_ = text;
    RefreshHint();
}

void TReplacementRow::RefreshHint()
{
    TBevelEdit* shown = hovered_;
    if (!shown && !note_.isEmpty()) {
        hint_->SetCaption(note_);
        return;
    }
    if (!shown) {
        auto* focus = qobject_cast<TBevelEdit*>(QApplication::focusWidget());
        if (focus && std::find(boxes_.begin(), boxes_.end(), focus) != boxes_.end())
            shown = focus;
    }
    const QString tip = shown ? shown->toolTip() : QString();
    hint_->SetCaption(tip.isEmpty() ? restingHint_ : tip);
}

template <typename TextOf>
void TReplacementRow::SetTexts(TBevelEdit* sender, TextOf textOf)
{
    // One preview for the whole row, not one per box.
    bool changed = false;
    for (std::size_t k = 0; k < boxes_.size(); ++k) {
        TBevelEdit* box = boxes_[k];
        const std::optional<std::string> text = textOf(k);
        if (!text || box->Text() == *text)
            continue;
        box->BeginUpdate();
        box->SetText(*text);
        box->EndUpdate();
        changed = true;
    }
    if (changed)
        emit BoxChanged(sender);
}

void TReplacementRow::FillLike(TBevelEdit* box)
{
    const auto at = std::find(boxes_.begin(), boxes_.end(), box);
    if (at == boxes_.end())
        return;
    const char separator = separators_[static_cast<std::size_t>(at - boxes_.begin())];
    const std::string text = box->Text();
    SetTexts(box, [&](std::size_t k) {
        return separators_[k] == separator ? std::optional<std::string>(text) : std::nullopt;
    });
}

void TReplacementRow::RestoreSeparators(TBevelEdit* box)
{
    SetTexts(box, [&](std::size_t k) { return std::optional<std::string>(std::string(1, separators_[k])); });
}

void TReplacementRow::ApplyTexts(const std::vector<std::string>& texts, const std::string& beyond)
{
    if (boxes_.empty())
        return;
    SetTexts(boxes_.front(), [&](std::size_t k) {
        if (k < texts.size())
            return std::optional<std::string>(texts[k].substr(0, 1));
        return std::optional<std::string>(beyond.empty() ? std::string(1, separators_[k]) : beyond.substr(0, 1));
    });
}

QMenu* TReplacementRow::CreateContextMenu(TBevelEdit* box)
{
    QMenu* menu = box->createStandardContextMenu();
    const auto at = std::find(boxes_.begin(), boxes_.end(), box);
    if (at == boxes_.end())
        return menu;
    const char separator = separators_[static_cast<std::size_t>(at - boxes_.begin())];
    menu->addSeparator();
    const QString fill = QStringLiteral("Use \u00ab%1\u00bb for every \u00ab%2\u00bb in this row")
                             .arg(MenuText(box->Text()), MenuText(std::string_view(&separator, 1)));
    // The box may be gone by the time an entry is chosen (a rebuild).
    const QPointer<TBevelEdit> target(box);
    connect(menu->addAction(fill), &QAction::triggered, this, [this, target] {
        if (target)
            FillLike(target);
    });
    connect(menu->addAction(QStringLiteral("Restore this row's separators")), &QAction::triggered, this,
            [this, target] {
                if (target)
                    RestoreSeparators(target);
            });
    return menu;
}

bool TReplacementRow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == page_) {
        if (event->type() == QEvent::Resize)
            FitToPage();
        return QObject::eventFilter(watched, event);
    }
    auto* box = qobject_cast<TBevelEdit*>(watched);
    if (!box)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Enter:
        hovered_ = box;
        RefreshHint();
        break;
    case QEvent::Leave:
        if (hovered_ == box)
            hovered_ = nullptr;
        RefreshHint();
        break;
    case QEvent::ContextMenu: {
        QMenu* menu = CreateContextMenu(box);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void TReplacementRow::FitToPage()
{
    // The scroll bar goes directly under the row, as tall as the area lays
    // it out: its size hint, which the Windows style makes taller than the
    // plain scroll bar extent at some fonts and scales. Reckoned from the
    // extent alone, the bar covered the lower half of every box.
    const int bar = std::max(area_->horizontalScrollBar()->sizeHint().height(),
                             area_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area_));
    area_->setGeometry(0, 0, page_->width(), kTop + kBoxHeight + bar + 1);
    // The hint takes the page's width, less the margin of its left-most
    // controls: the guidance sentence is long.
    hint_->setGeometry(kHintLeft, area_->height(), std::max(page_->width() - 2 * kHintLeft, 0), kHintHeight);
    UpdateExtent();
}
