#include "TStyledTabBar.h"

#include <utility>

#include <QStyleOptionTab>
#include <QStylePainter>

TStyledTabBar::TStyledTabBar(QWidget* parent, TDrawTab drawTab)
    : QTabBar(parent)
    , drawTab_(std::move(drawTab))
{
    setFocusPolicy(Qt::NoFocus);
    // The page control draws the frame the tabs stand on.
    setDrawBase(false);
}

QRect TStyledTabBar::InteriorRect(int index) const
{
    // Unselected tabs stand two pixels lower than the selected one, as the
    // shapes of the style draw them.
    const QRect r = tabRect(index);
    return index == currentIndex() ? r : r.adjusted(0, 2, 0, 0);
}

void TStyledTabBar::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    // The selected tab overlaps its neighbours, so it goes last.
    const int selected = currentIndex();
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < count(); ++i) {
            if ((i == selected) != (pass == 1))
                continue;
            QStyleOptionTab option;
            initStyleOption(&option, i);
            option.text.clear();
            painter.drawControl(QStyle::CE_TabBarTabShape, option);
            drawTab_(painter, i, InteriorRect(i), i == selected, isTabEnabled(i) && isEnabled());
        }
    }
}
