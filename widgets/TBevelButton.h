#pragma once

#include <QPushButton>

// Push button whose caption may carry an accelerator ("&Go": Alt+G).
// OnClick is raised once per click: mouse release over it, space or Enter
// while focused, or the accelerator.
class TBevelButton : public QPushButton {
    Q_OBJECT
public:
    explicit TBevelButton(QWidget* parent = nullptr);
    TBevelButton(const QString& caption, QWidget* parent);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption) { setText(caption); }

signals:
    void OnClick(TBevelButton* sender);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
