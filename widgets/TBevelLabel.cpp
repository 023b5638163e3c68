#include "TBevelLabel.h"

#include "TBevelSettings.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace {

const QString kEllipsis = QStringLiteral("...");

int textWidth(const QFontMetrics& metrics, const QString& text)
{
    return metrics.size(Qt::TextSingleLine | Qt::TextExpandTabs, text).width();
}

// Largest n in [0, count] for which fits(n) holds, given that it holds for
// all smaller n once it holds for n; -1 when it holds for none.
template <typename Fits>
qsizetype largestFitting(qsizetype count, Fits fits)
{
    qsizetype lo = -1;
    qsizetype hi = count;
    while (lo < hi) {
        const qsizetype mid = lo + (hi - lo + 1) / 2;
        if (fits(mid))
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

// With the accelerator on, "&x" draws as "x" and "&&" as "&"; the shortened
// forms are built from what is actually shown.
QString stripAccelerators(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') {
            if (i + 1 < text.size())
                ++i;
            else
                continue;
        }
        out.append(text[i]);
    }
    return out;
}

Qt::Alignment qtAlignment(TBevelAlignment alignment)
{
    switch (alignment) {
    case agTopLeft: return Qt::AlignTop | Qt::AlignLeft;
    case agTopCenter: return Qt::AlignTop | Qt::AlignHCenter;
    case agTopRight: return Qt::AlignTop | Qt::AlignRight;
    case agCenterLeft: return Qt::AlignVCenter | Qt::AlignLeft;
    case agCenter: return Qt::AlignVCenter | Qt::AlignHCenter;
    case agCenterRight: return Qt::AlignVCenter | Qt::AlignRight;
    case agBottomLeft: return Qt::AlignBottom | Qt::AlignLeft;
    case agBottomCenter: return Qt::AlignBottom | Qt::AlignHCenter;
    case agBottomRight: return Qt::AlignBottom | Qt::AlignRight;
    }
    return Qt::AlignTop | Qt::AlignLeft;
}

} // namespace

TBevelLabel::TBevelLabel(QWidget* parent)
    : TBevelLabel(QString(), parent)
{
}

TBevelLabel::TBevelLabel(const QString& caption, QWidget* parent)
    : QWidget(parent)
    , bevel_(new TBevelSettings(this))
    , caption_(caption)
    , color_(palette().color(QPalette::Window))
{
    // No frame unless the owner asks for one.
    bevel_->SetMode(bmStandard);
    bevel_->SetStandardStyle(bsNone);
    connect(bevel_, &TBevelSettings::changed, this, [this] {
        AdjustSize();
        update();
    });
    AdjustSize();
}

void TBevelLabel::SetCaption(const QString& caption)
{
    if (caption_ == caption)
        return;
    caption_ = caption;
    AdjustSize();
    update();
}

void TBevelLabel::SetAutoSize(bool on)
{
    if (autoSize_ == on)
        return;
    autoSize_ = on;
    AdjustSize();
}

void TBevelLabel::SetAlignment(TBevelAlignment alignment)
{
    if (alignment_ == alignment)
        return;
    alignment_ = alignment;
    update();
}

void TBevelLabel::SetOptions(TLabelOptions options)
{
    if (options_ == options)
        return;
    options_ = options;
    update();
}

void TBevelLabel::SetShowAccelChar(bool on)
{
    if (showAccelChar_ == on)
        return;
    showAccelChar_ = on;
    AdjustSize();
    update();
}

void TBevelLabel::SetMultiLine(bool on)
{
    if (multiLine_ == on)
        return;
    multiLine_ = on;
    AdjustSize();
    update();
}

void TBevelLabel::SetTransparent(bool on)
{
    if (transparent_ == on)
        return;
    transparent_ = on;
    setAttribute(Qt::WA_OpaquePaintEvent, !on);
    update();
}

void TBevelLabel::SetColor(const QColor& color)
{
    if (color_ == color)
        return;
    color_ = color;
    update();
}

QRect TBevelLabel::TextRect() const
{
    const int frame = bevel_->FrameWidth();
    return rect().adjusted(frame, frame, -frame, -frame);
}

int TBevelLabel::TextFlags() const
{
    int flags = static_cast<int>(qtAlignment(alignment_)) | Qt::TextExpandTabs;
    flags |= multiLine_ ? int(Qt::TextWordWrap) : int(Qt::TextSingleLine);
    if (showAccelChar_ && !(options_ & (loPathEllipsis | loEndEllipsis)))
        flags |= Qt::TextShowMnemonic;
    return flags;
}

QString TBevelLabel::DisplayedText() const
{
    const bool eliding = !multiLine_ && (options_ & (loPathEllipsis | loEndEllipsis));
    if (!eliding)
        return caption_;
    const QString shown = showAccelChar_ ? stripAccelerators(caption_) : caption_;
    const QFontMetrics metrics(font());
    const int room = TextRect().width();
    if (options_ & loPathEllipsis)
        return PathEllipsis(shown, metrics, room);
    if (textWidth(metrics, shown) <= room)
        return shown;
    const qsizetype keep = largestFitting(shown.size(), [&](qsizetype n) {
        return textWidth(metrics, shown.left(n) + kEllipsis) <= room;
    });
    return shown.left(qMax<qsizetype>(keep, 0)) + kEllipsis;
}

QString TBevelLabel::PathEllipsis(const QString& text, const QFontMetrics& metrics, int width)
{
    if (textWidth(metrics, text) <= width)
        return text;
    const qsizetype cut = qMax(text.lastIndexOf(u'/'), text.lastIndexOf(u'\\'));
    if (cut < 0) {
        // No folder part: keep both ends of the name.
        return metrics.elidedText(text, Qt::ElideMiddle, width, Qt::TextExpandTabs);
    }
    const QString head = text.left(cut);
    const QString tail = text.mid(cut);
    const qsizetype keepHead = largestFitting(head.size(), [&](qsizetype n) {
        return textWidth(metrics, head.left(n) + kEllipsis + tail) <= width;
    });
    if (keepHead >= 0)
        return head.left(keepHead) + kEllipsis + tail;
    // Not even the file name fits: show as much of its start as fits.
    const qsizetype keepTail = largestFitting(tail.size(), [&](qsizetype n) {
        return textWidth(metrics, kEllipsis + tail.left(n)) <= width;
    });
    return kEllipsis + tail.left(qMax<qsizetype>(keepTail, 0));
}

QSize TBevelLabel::sizeHint() const
{
    const int pad = 2 * (bevel_->FrameWidth() + 1);
    const QString measured = caption_.isEmpty() ? QStringLiteral(" ") : caption_;
    const QFontMetrics metrics(font());
    int flags = TextFlags() & ~int(Qt::AlignVertical_Mask | Qt::AlignHorizontal_Mask);
    QSize extent;
    if (multiLine_) {
        const int room = qMax(width() - pad, 1);
        extent = metrics.boundingRect(QRect(0, 0, room, 1 << 20), flags, measured).size();
    } else {
        extent = metrics.size(flags, measured);
    }
    return extent + QSize(pad, pad);
}

void TBevelLabel::AdjustSize()
{
    if (autoSize_)
        resize(sizeHint());
}

void TBevelLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!transparent_)
        painter.fillRect(rect(), color_);
    const QRect inner = bevel_->Paint(painter, rect(), palette());
    painter.setFont(font());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                   QPalette::WindowText));
    painter.setClipRect(inner);
    painter.drawText(inner, TextFlags(), DisplayedText());
}

void TBevelLabel::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    QWidget::mousePressEvent(event);
}

void TBevelLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton
        && rect().contains(event->position().toPoint());
    pressed_ = false;
    QWidget::mouseReleaseEvent(event);
    if (click)
        emit OnClick(this);
}

void TBevelLabel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        AdjustSize();
        update();
    }
}
