#include "TStyledPageControl.h"

#include "TStyledTabBar.h"
#include "TTabSheet.h"
#include "TTabStyle.h"

#include <QApplication>
#include <QEvent>
#include <QFontInfo>
#include <QKeyEvent>
#include <QPointer>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>

namespace {

QFont defaultTabFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    return font;
}

// The platform font a caption is drawn with: the style font's face, size
// and decorations, with the weight reduced to regular or bold.
QFont tabFontFrom(const QFont& styleFont)
{
    QFont font(styleFont.family());
    if (styleFont.pixelSize() > 0)
        font.setPixelSize(styleFont.pixelSize());
    else
        font.setPointSizeF(styleFont.pointSizeF());
    font.setItalic(styleFont.italic());
    font.setUnderline(styleFont.underline());
    font.setStrikeOut(styleFont.strikeOut());
    font.setWeight(styleFont.bold() ? QFont::Bold : QFont::Normal);
    return font;
}

QRect ltrb(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

// The first widget of `page` that takes keyboard focus by Tab, in focus
// chain order, or nullptr.
QWidget* firstFocusableIn(QWidget* page)
{
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() && w->isEnabled() && w->isVisibleTo(page)
            && page->isAncestorOf(w))
            return w;
    }
    return nullptr;
}

} // namespace

TStyledPageControl::TStyledPageControl(QWidget* parent)
    : QWidget(parent)
    , tabBar_(new TStyledTabBar(this, [this](QPainter& painter, int index, const QRect& interior, bool selected,
                                             bool enabled) { DrawTab(painter, index, interior, selected, enabled); }))
    , tabStyle_(new TTabStyle(this))
    , tabSelectedStyle_(new TTabStyle(this))
{
    setFocusPolicy(Qt::NoFocus);
    tabBar_->setExpanding(false);
    connect(tabBar_, &QTabBar::currentChanged, this, [this](int index) { SwitchTo(index, true); });

    tabStyle_->SetBackgrColor(palette().color(QPalette::Dark));
    tabStyle_->SetFontColor(palette().color(QPalette::Light));
    tabSelectedStyle_->SetBackgrColor(palette().color(QPalette::Button));
    tabSelectedStyle_->SetFontColor(palette().color(QPalette::ButtonText));
    for (TTabStyle* style : {tabStyle_, tabSelectedStyle_}) {
        style->SetCaptionHAlign(fhaCenter);
        style->SetFont(defaultTabFont());
        connect(style, &TTabStyle::changed, tabBar_, qOverload<>(&QWidget::update));
        connect(style, &TTabStyle::fontChanged, this, [this, style] { StyleFontChanged(style); });
    }
    BuildTabFonts();
    LayoutChildren();
}

TStyledPageControl::~TStyledPageControl()
{
    // Pages are children and go with the control; they need no bookkeeping.
    for (TTabSheet* page : pages_)
        disconnect(page, nullptr, this, nullptr);
}

int TStyledPageControl::AddPage(TTabSheet* page)
{
    if (!page || pages_.contains(page))
        return IndexOf(page);
    page->setParent(this);
    page->setGeometry(contentsRect_);
    page->hide();
    pages_.append(page);
    connect(page, &TTabSheet::captionChanged, this, [this, page](const QString& caption) {
        const int i = IndexOf(page);
        if (i >= 0)
            tabBar_->setTabText(i, caption);
    });
    connect(page, &QObject::destroyed, this, &TStyledPageControl::PageDestroyed);
    int index;
    {
        // Adding is no choice of the user's: the first page is shown below.
        const QSignalBlocker block(tabBar_);
        index = tabBar_->addTab(page->Caption());
    }
    LayoutChildren();
    if (current_ < 0)
        SwitchTo(index, false);
    return index;
}

TTabSheet* TStyledPageControl::Page(int index) const
{
    return index >= 0 && index < pages_.size() ? pages_[index] : nullptr;
}

int TStyledPageControl::IndexOf(const TTabSheet* page) const
{
    for (int i = 0; i < pages_.size(); ++i)
        if (pages_[i] == page)
            return i;
    return -1;
}

void TStyledPageControl::SetActivePage(TTabSheet* page)
{
    const int index = IndexOf(page);
    if (index >= 0)
        SetActivePageIndex(index);
}

void TStyledPageControl::SetActivePageIndex(int index)
{
    if (index < 0 || index >= pages_.size())
        return;
    SwitchTo(index, false);
}

QString TStyledPageControl::TabText(int index) const
{
    return tabBar_->tabText(index);
}

bool TStyledPageControl::IsTabEnabled(int index) const
{
    return tabBar_->isTabEnabled(index);
}

void TStyledPageControl::SetTabEnabled(int index, bool enabled)
{
    tabBar_->setTabEnabled(index, enabled);
}

void TStyledPageControl::SwitchTo(int index, bool byUser)
{
    if (index < 0 || index >= pages_.size() || index == current_)
        return;
    const QPointer<TTabSheet> oldPage = Page(current_);
    const QPointer<TTabSheet> newPage = pages_[index];
    current_ = index;
    if (tabBar_->currentIndex() != index) {
        const QSignalBlocker block(tabBar_);
        tabBar_->setCurrentIndex(index);
    }

    newPage->raise();
    // A handler that takes the user back to a page whose switch away it
    // interrupted finds that page still visible; it is shown afresh so its
    // shown() handler runs as for any other selection.
    if (newPage->isVisible())
        newPage->hide();
    newPage->show();
    // A shown() handler may already have chosen another page.
    if (current_ != index)
        return;

    // The focus goes with the page the user chose; a switch made by the
    // program takes it along only when it was on the page left.
    const QWidget* focus = QApplication::focusWidget();
    const bool onOldPage = oldPage && focus && (focus == oldPage || oldPage->isAncestorOf(focus));
    const bool onNewPage = focus && (focus == newPage || newPage->isAncestorOf(focus));
    const bool inWindow = focus && focus->window() == window();
    if (onOldPage || (byUser && inWindow && !onNewPage)) {
        // The page itself takes the focus first: a handler run as the focus
        // leaves the old page may rebuild or hide the new page's controls,
        // and a control hidden while it holds the focus passes it on to
        // whatever comes next in the window, outside the page.
        newPage->setFocus(Qt::OtherFocusReason);
        // An exited() handler may have chosen another page.
        if (current_ != index)
            return;
        if (QWidget* first = firstFocusableIn(newPage))
            first->setFocus(Qt::TabFocusReason);
    }
    if (oldPage)
        oldPage->hide();
    emit currentChanged(index);
}

void TStyledPageControl::PageDestroyed(QObject* page)
{
    for (int i = 0; i < pages_.size(); ++i) {
        if (static_cast<QObject*>(pages_[i]) != page)
            continue;
        pages_.removeAt(i);
        if (current_ == i)
            current_ = -1;
        else if (current_ > i)
            --current_;
        const QSignalBlocker block(tabBar_);
        tabBar_->removeTab(i);
        break;
    }
    if (current_ < 0 && !pages_.isEmpty())
        SwitchTo(std::max(0, tabBar_->currentIndex()), false);
}

void TStyledPageControl::LayoutChildren()
{
    QStyleOptionTabWidgetFrame option;
    option.initFrom(this);
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    option.shape = QTabBar::RoundedNorth;
    const QSize hint = tabBar_->sizeHint();
    option.tabBarSize = QSize(std::min(hint.width(), width()), hint.height());
    const QRect tabRect = style()->subElementRect(QStyle::SE_TabWidgetTabBar, &option, this);
    panelRect_ = style()->subElementRect(QStyle::SE_TabWidgetTabPane, &option, this);
    contentsRect_ = style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this);
    tabBar_->setGeometry(tabRect);
    for (TTabSheet* page : pages_)
        page->setGeometry(contentsRect_);
    update();
}

void TStyledPageControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    LayoutChildren();
}

void TStyledPageControl::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        LayoutChildren();
}

void TStyledPageControl::keyPressEvent(QKeyEvent* event)
{
    const bool tabKey = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    if (!tabKey || !(event->modifiers() & Qt::ControlModifier) || pages_.size() < 2) {
        QWidget::keyPressEvent(event);
        return;
    }
    const bool backwards = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
    const int n = pages_.size();
    for (int step = 1; step < n; ++step) {
        const int index = ((current_ + (backwards ? -step : step)) % n + n) % n;
        if (tabBar_->isTabEnabled(index)) {
            SwitchTo(index, true);
            break;
        }
    }
    event->accept();
}

void TStyledPageControl::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame option;
    option.initFrom(this);
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    option.shape = QTabBar::RoundedNorth;
    option.tabBarSize = tabBar_->size();
    option.tabBarRect = tabBar_->geometry();
    if (current_ >= 0) {
        option.selectedTabRect = tabBar_->tabRect(current_).translated(tabBar_->pos());
    }
    option.rect = panelRect_;
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, option);
}

void TStyledPageControl::BuildTabFonts()
{
    tabFont_ = tabFontFrom(tabStyle_->Font());
    selectedTabFont_ = tabFontFrom(tabSelectedStyle_->Font());
    ++tabFontBuilds_;
}

void TStyledPageControl::StyleFontChanged(const TTabStyle* style)
{
    BuildTabFonts();
    // The tabs are sized by the control's font, so a larger caption font
    // becomes the control's font to keep the captions inside their tabs.
    if (QFontInfo(style->Font()).pixelSize() > QFontInfo(font()).pixelSize())
        setFont(style->Font());
    tabBar_->update();
}

void TStyledPageControl::DrawTab(QPainter& painter, int index, const QRect& interior, bool selected,
                                 bool enabled) const
{
    // A disabled tab looks like any other unselected one, even when selected.
    const bool useSelected = selected && enabled;
    const TTabStyle* style = useSelected ? tabSelectedStyle_ : tabStyle_;

    const int left = interior.x();
    const int top = interior.y();
    const int right = interior.x() + interior.width();
    const int bottom = interior.y() + interior.height();
    const QRect r = selected ? ltrb(left + 3, top + 2, right - 4, bottom - 2) : ltrb(left + 1, top + 2, right - 2, bottom);
    if (r.width() <= 0 || r.height() <= 0)
        return;

    painter.save();
    painter.fillRect(r.adjusted(0, 0, 1, 1), style->BackgrColor());
    painter.setFont(useSelected ? selectedTabFont_ : tabFont_);
    painter.setPen(style->FontColor());
    painter.drawText(r, int(style->CaptionAlignment()) | Qt::TextSingleLine, tabBar_->tabText(index));
    painter.restore();
}
