#pragma once

#include <functional>

#include <QTabBar>

class QPainter;

// The tab row of a page control: the style draws each tab's outline and the
// owner fills the inside, as an owner-drawn tab control does. The owner is
// reached through `drawTab` alone, so that the tab row needs nothing of it.
class TStyledTabBar : public QTabBar {
    Q_OBJECT
public:
    // Fills the inside of tab `index`.
    using TDrawTab =
        std::function<void(QPainter& painter, int index, const QRect& interior, bool selected, bool enabled)>;

    TStyledTabBar(QWidget* parent, TDrawTab drawTab);

    // The rectangle of tab `index` the page control draws into.
    QRect InteriorRect(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TDrawTab drawTab_;
};
