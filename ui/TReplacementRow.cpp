#include "TReplacementRow.h"

#include "TBevelEdit.h"

#include <QApplication>
#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <array>

namespace {

// Room kept right of the widest control, so the last box is not flush with
// the page's edge when scrolled to the end.
constexpr int kEndMargin = 8;
constexpr int kBoxHeight = 21;

} // namespace

TReplacementRow::TReplacementRow(QWidget* page, QObject* owner)
    : QObject(owner)
    , page_(page)
    , area_(new QScrollArea(page))
    , content_(new QWidget)
{
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

    // The old boxes go later, not now: the focus change that triggers a
    // rebuild may be handing the focus to one of them at this very moment.
    for (TBevelEdit* box : boxes_) {
        disconnect(box, nullptr, this, nullptr);
        box->hide();
        box->deleteLater();
    }
    boxes_.clear();

    std::array<bool, 256> isSeparator{};
    for (char s : separatorSet)
        isSeparator[static_cast<unsigned char>(s)] = true;

    for (char c : templateText) {
        if (!isSeparator[static_cast<unsigned char>(c)])
            continue;
        if (boxes_.size() >= maxBoxes)
            break;
        const int k = static_cast<int>(boxes_.size());
        auto* box = new TBevelEdit(content_);
        box->setAcceptDrops(false);
        box->setGeometry(kLeft + kStep * k, kTop, kBoxWidth, kBoxHeight);
        box->SetText(std::string_view(&c, 1));
        connect(box, &TBevelEdit::OnChange, this, &TReplacementRow::BoxChanged);
        box->show();
        boxes_.push_back(box);
    }
    UpdateExtent();
    // A new row starts at its left end, with the caption and the first box
    // in view, however far the previous row was scrolled.
    area_->horizontalScrollBar()->setValue(0);
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

bool TReplacementRow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == page_ && event->type() == QEvent::Resize)
        FitToPage();
    return QObject::eventFilter(watched, event);
}

void TReplacementRow::FitToPage()
{
    // The scroll bar goes directly under the row.
    const int bar = area_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area_);
    area_->setGeometry(0, 0, page_->width(), kTop + kBoxHeight + bar + 1);
    UpdateExtent();
}
