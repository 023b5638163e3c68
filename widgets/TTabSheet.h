#pragma once

#include <QString>
#include <QWidget>

class TStyledPageControl;

// One page of a TStyledPageControl. Children are placed at absolute
// positions inside it.
//
// shown() is emitted whenever the page becomes visible by the program's or
// the user's doing (selected, or its page control shown); exited() whenever
// the keyboard focus moves from a widget inside the page to a widget outside
// it in the same window. Focus lost to another window or application is not
// an exit: the focus comes back to the page when the window is activated.
class TTabSheet : public QWidget {
    Q_OBJECT
public:
    explicit TTabSheet(const QString& caption = QString(), QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);

    // The page control the page was added to, or nullptr.
    TStyledPageControl* PageControl() const;
    // Index in the page control, or -1.
    int PageIndex() const;

signals:
    void shown();
    void exited();
    void captionChanged(const QString& caption);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FocusChanged(QWidget* now);
    bool Contains(const QWidget* widget) const;

    QString caption_;
    bool focusInside_ = false;
};
