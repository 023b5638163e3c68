#pragma once

#include <QTabBar>

class TStyledPageControl;

// The tab row of a TStyledPageControl: the style draws each tab's outline
// and the page control fills the inside, as an owner-drawn tab control does.
class TStyledTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit TStyledTabBar(TStyledPageControl* owner);

    // The rectangle of tab `index` the page control draws into.
    QRect InteriorRect(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TStyledPageControl* owner_;
};
