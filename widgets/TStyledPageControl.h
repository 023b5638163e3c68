#pragma once

#include <QFont>
#include <QList>
#include <QWidget>

class TStyledTabBar;
class TTabSheet;
class TTabStyle;

// A page control with tabs across the top whose insides it draws itself:
// the selected tab in TabSelectedStyle, every other (and, while the control
// is disabled, every) tab in TabStyle. It is not a keyboard tab stop itself;
// the pages' controls are.
//
// Pages are switched by the control rather than by a stacked layout so the
// order is fixed: the new page is shown (its shown() fires), the focus moves
// off the old page if it was there (its exited() fires) onto the new page's
// first control, or the page itself when it has none, then the old page is
// hidden. A page the user picks (tab click, Ctrl+Tab) takes the focus
// wherever it was. A handler of either signal may select another page; that
// selection wins and the interrupted switch stops.
class TStyledPageControl : public QWidget {
    Q_OBJECT
public:
    explicit TStyledPageControl(QWidget* parent = nullptr);
    ~TStyledPageControl() override;

    TTabStyle* TabStyle() const { return tabStyle_; }
    TTabStyle* TabSelectedStyle() const { return tabSelectedStyle_; }

    // Adds a page at the end with the page's caption as its tab text; the
    // control owns the page from then on. The first page becomes active.
    int AddPage(TTabSheet* page);
    int PageCount() const { return pages_.size(); }
    TTabSheet* Page(int index) const;
    int IndexOf(const TTabSheet* page) const;
    TTabSheet* ActivePage() const { return Page(current_); }
    void SetActivePage(TTabSheet* page);
    int ActivePageIndex() const { return current_; }
    void SetActivePageIndex(int index);

    QString TabText(int index) const;
    bool IsTabEnabled(int index) const;
    void SetTabEnabled(int index, bool enabled);

    // The fonts the captions are drawn with, built from the styles' fonts
    // only when those change, never per paint.
    QFont TabFont(bool selected) const { return selected ? selectedTabFont_ : tabFont_; }
    int TabFontBuilds() const { return tabFontBuilds_; }

    TStyledTabBar* StyledTabBar() const { return tabBar_; }
    // Where the pages sit, in the control's coordinates.
    QRect PageRect() const { return contentsRect_; }

signals:
    void currentChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Ctrl+Tab and Ctrl+Shift+Tab pressed inside a page move to the next
    // or previous enabled page.
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Fills the inside of one tab and draws its caption; `interior` is the
    // tab's rectangle within the tab bar.
    void DrawTab(QPainter& painter, int index, const QRect& interior, bool selected, bool enabled) const;
    void SwitchTo(int index, bool byUser);
    void PageDestroyed(QObject* page);
    void LayoutChildren();
    void BuildTabFonts();
    void StyleFontChanged(const TTabStyle* style);

    TStyledTabBar* tabBar_;
    TTabStyle* tabStyle_;
    TTabStyle* tabSelectedStyle_;
    QList<TTabSheet*> pages_;
    int current_ = -1;
    QRect panelRect_;
    QRect contentsRect_;
    QFont tabFont_;
    QFont selectedTabFont_;
    int tabFontBuilds_ = 0;
};
