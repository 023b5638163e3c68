#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

class QMenu;
class QScrollArea;
class QWidget;
class TBevelEdit;
class TBevelLabel;

// One row of one-character replacement boxes, box k under separator
// occurrence k of a template, at left 35 + 25 k and top 90 of its page.
//
// The row and the page's controls above it (caption, preview, "change
// separator:") live in a horizontally scrolling area at the top of the page:
// a template with many separators, or a long preview, would otherwise run
// past the page's right edge out of reach. While everything fits the area
// shows no scroll bar and the controls sit exactly where the page would
// have them; a box that takes the focus is scrolled into view.
//
// A one-line hint under the scroll bar tells which occurrence the box under
// the mouse, or else the focused box, stands for: its tool tip, as the
// window sets it. A box's context menu adds filling the row from that box
// and restoring every box's own separator to the usual edit entries.
class TReplacementRow : public QObject {
    Q_OBJECT
public:
    static constexpr int kLeft = 35;
    static constexpr int kStep = 25;
    static constexpr int kTop = 90;
    static constexpr int kBoxWidth = 25;

    // Separators as the row's texts show them: a Tab, which would be a
    // blank (or, in a menu, the start of a shortcut), as TBevelEdit::kTabMark.
    static QString ShownText(std::string_view bytes);

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

    // Removes every box: the row of a file without this line.
    void Clear();

    // Makes the scrolled area as wide as its widest control; call after a
    // control in it changed size.
    void UpdateExtent();

    // The hint line under the row, and what it says while no box with a
    // tool tip is pointed at or focused.
    TBevelLabel* Hint() const { return hint_; }
    void SetRestingHint(const QString& text);
    const QString& RestingHint() const { return restingHint_; }
    // A note shown in place of the focused box's tip (a box under the mouse
    // still shows its own) until it is set empty: the box that takes the
    // focus as its page opens must not hide it.
    void SetNote(const QString& text);
    const QString& Note() const { return note_; }
    // Entry k becomes the tool tip of box k; boxes beyond the list get none.
    void SetOccurrenceHints(const QStringList& hints);

    // Every box whose own separator is the separator of `box` takes the
    // text of `box`.
    void FillLike(TBevelEdit* box);
    // Every box takes its own separator again.
    void RestoreSeparators(TBevelEdit* box);
    // Box k takes entry k of `texts`; boxes beyond the list take `beyond`,
    // or their own separator when it is empty. One BoxChanged, for the
    // first box, when anything changed.
    void ApplyTexts(const std::vector<std::string>& texts, const std::string& beyond);
    // The context menu of `box`: the edit's own entries, then the two above.
    // The caller owns it.
    QMenu* CreateContextMenu(TBevelEdit* box);

signals:
    // One box changed, or (after FillLike or RestoreSeparators) any number
    // of them, `sender` being the box whose menu was used.
    void BoxChanged(TBevelEdit* sender);
    // A box refused a character it cannot hold; its text is unchanged.
    void BoxRefused(TBevelEdit* sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitToPage();
    void RemoveBoxes();
    void RefreshHint();
    // Sets the boxes' texts without a change event each, then one
    // BoxChanged when anything changed.
    template <typename TextOf>
    void SetTexts(TBevelEdit* sender, TextOf textOf);

    QWidget* page_;
    QScrollArea* area_;
    QWidget* content_;
    TBevelLabel* hint_;
    QString restingHint_;
    QString note_;
    QPointer<TBevelEdit> hovered_;
    std::vector<TBevelEdit*> boxes_;
    // The template's separator under each box.
    std::string separators_;
};
