#pragma once

#include <QLineEdit>

#include <string>
#include <string_view>

class TBevelSettings;

// Single-line edit inside a bevelled frame. Its text is bytes: one byte is
// one Windows-1252 character, both ways. Being a QLineEdit itself, it gives
// the window focus, selection, cursor and key handling directly; the
// members below are the ones whose behaviour the window relies on.
//
// Change rule: setting the current value again does nothing; every other
// change (typed, deleted, cut, pasted, set by the program) raises OnChange
// exactly once, after the new text is in place, unless the update lock is
// held.
class TBevelEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TBevelEdit(QWidget* parent = nullptr);

    std::string Text() const;
    // Leaves the caret before the first character with nothing selected.
    void SetText(std::string_view text);
    // Replaces the whole text as an edit of the user's would: one step the
    // user can undo, where SetText starts the undo history afresh.
    void EditText(std::string_view text);

    // 0 means no limit. A positive length cuts the current text and refuses
    // insertions beyond it.
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int length);

    // While at least one lock is held no change event is raised; releasing
    // the last lock raises none for the changes made meanwhile.
    void BeginUpdate();
    void EndUpdate();
    bool UpdateLocked() const { return updateLock_ > 0; }

    // Caret / selection in characters (= bytes), counted from 0.
    int SelStart() const;
    void SetSelStart(int position);
    int SelLength() const;
    void SetSelLength(int length);

    // Entering the box by keyboard selects its text only when set.
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool on) { autoSelect_ = on; }

    // Selection is drawn only while the box has the focus.
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool on);

    // Typed characters replace the character after the caret instead of
    // pushing it right.
    bool OverwriteMode() const { return overwrite_; }
    void SetOverwriteMode(bool on) { overwrite_ = on; }

    TBevelSettings* Bevel() const { return bevel_; }

    // What stands for a Tab wherever one would show as a blank.
    static constexpr QChar kTabMark = QChar(0x2192);
    // While set, a text that is one Tab shows kTabMark instead of a blank;
    // Text() still returns the Tab.
    bool TabMark() const { return tabMark_; }
    void SetTabMark(bool on);

    // A key held with Alt, Ctrl or Meta is a command, never typing: it
    // inserts nothing into the box. (On Windows Ctrl+Alt is AltGr, typing.)
    static bool IsCommandChord(Qt::KeyboardModifiers modifiers);

signals:
    void OnChange(TBevelEdit* sender);
    // A character without a Windows-1252 byte was typed or pasted; the
    // text stays as it was.
    void OnRefused(TBevelEdit* sender);

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Typing or pasting characters outside Windows-1252 changes nothing and
    // raises OnRefused (only while set; a box holding file system paths
    // clears it).
    void SetWindows1252Only(bool on);
    // Extra room kept free at the right of the text, inside the frame, for
    // embedded buttons.
    void SetRightReserve(int pixels);
    int RightReserve() const { return rightReserve_; }
    virtual void UpdateLayout();

private:
    void HandleTextChanged();
    void PaintTabMark(class QPainter& painter) const;
    void ShowSelection(bool shown);

    TBevelSettings* bevel_;
    class QValidator* validator_ = nullptr;
    QString lastText_;
    int maxLength_ = 0;
    int updateLock_ = 0;
    int rightReserve_ = 0;
    bool settingText_ = false;
    bool autoSelect_ = false;
    bool overwrite_ = false;
    bool hideSelection_ = true;
    bool tabMark_ = false;
    bool selectionShown_ = true;
    QPalette shownPalette_;
};
