#include "TBevelEdit.h"
#include "TReplacementRow.h"

#include <QApplication>
#include <QProxyStyle>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A style whose horizontal scroll bar is laid out taller than its plain
// extent says, as the Windows style's is at some fonts and scales.
class TTallScrollBarStyle : public QProxyStyle {
public:
    explicit TTallScrollBarStyle(int extra)
        : extra_(extra)
    {
    }
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_ScrollBar)
            result.rheight() += extra_;
        return result;
    }

private:
    int extra_;
};

// The scroll bar under a row too long for the page leaves every box whole,
// however tall the style lays the bar out: a box whose lower half it hid
// showed "," as "." and ";" as ":".
TEST(ReplacementRow, ScrollBarLeavesEveryBoxWhole)
{
    for (const int extra : {0, 4, 12}) {
        SCOPED_TRACE(extra);
        TTallScrollBarStyle style(extra);
        QWidget page;
        page.resize(300, 250);
        TReplacementRow row(&page, nullptr);
        row.Area()->setStyle(&style);
        row.Area()->horizontalScrollBar()->setStyle(&style);
        row.Build("a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t,u,v,w,x,y,z", ",", 100);
        page.show();
        page.resize(320, 250);
        QApplication::processEvents();
        QWidget* viewport = row.Area()->viewport();
        ASSERT_EQ(row.Area()->horizontalScrollBar()->isVisible(), true);
        ASSERT_EQ(row.Boxes().size(), 25u);
        for (const TBevelEdit* box : row.Boxes()) {
            const QRect shown(box->mapTo(viewport, QPoint(0, 0)), box->size());
            if (shown.left() >= viewport->width())
                break; // scrolled out of sight sideways, not cut from below
            EXPECT_EQ(shown.bottom(), TReplacementRow::kTop + box->height() - 1);
            EXPECT_EQ(viewport->rect().intersected(shown).height(), shown.height()) << "box at " << shown.left();
        }
        // The bar lies directly under the row, not lower down the page.
        const QScrollBar* bar = row.Area()->horizontalScrollBar();
        EXPECT_EQ(bar->mapTo(row.Area(), QPoint(0, 0)).y(), viewport->geometry().bottom() + 1);
        EXPECT_EQ(row.Area()->height(), TReplacementRow::kTop + 21 + bar->height() + 1);
    }
}

} // namespace
