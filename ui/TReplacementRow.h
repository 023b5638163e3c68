#pragma once

#include <QObject>

#include <string>
#include <string_view>
#include <vector>

class QScrollArea;
class QWidget;
class TBevelEdit;

// One row of one-character replacement boxes, box k under separator
// occurrence k of a template, at left 35 + 25 k and top 90 of its page.
//
// The row and the page's controls above it (caption, preview, "change
// separator:") live in a horizontally scrolling area at the top of the page:
// a template with many separators, or a long preview, would otherwise run
// past the page's right edge out of reach. While everything fits the area
// shows no scroll bar and the controls sit exactly where the page would
// have them; a box that takes the focus is scrolled into view.
class TReplacementRow : public QObject {
    Q_OBJECT
public:
    static constexpr int kLeft = 35;
    static constexpr int kStep = 25;
    static constexpr int kTop = 90;
    static constexpr int kBoxWidth = 25;

    // The area is placed on `page`; `owner` owns the row and its boxes.
    TReplacementRow(QWidget* page, QObject* owner);

    // The parent for the controls that scroll with the row.
    QWidget* Content() const { return content_; }
    QScrollArea* Area() const { return area_; }

    const std::vector<TBevelEdit*>& Boxes() const { return boxes_; }
    // Box texts in order: the replacement list of a conversion.
    std::vector<std::string> Texts() const;

    // Replaces every box by one box per separator occurrence of the template
    // (at most `maxBoxes`), each holding its separator. An empty template
    // leaves the row untouched. Texts are set before the boxes are
    // connected, so building raises no BoxChanged.
    void Build(std::string_view templateText, std::string_view separatorSet,
               std::size_t maxBoxes);

    // Makes the scrolled area as wide as its widest control; call after a
    // control in it changed size.
    void UpdateExtent();

signals:
    void BoxChanged(TBevelEdit* sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitToPage();

    QWidget* page_;
    QScrollArea* area_;
    QWidget* content_;
    std::vector<TBevelEdit*> boxes_;
};
