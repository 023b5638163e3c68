#include "TBevelButton.h"

#include <QKeyEvent>

TBevelButton::TBevelButton(QWidget* parent)
    : TBevelButton(QString(), parent)
{
}

TBevelButton::TBevelButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent)
{
    connect(this, &QPushButton::clicked, this, [this] { emit OnClick(this); });
}

void TBevelButton::keyPressEvent(QKeyEvent* event)
{
    // Outside a dialog QPushButton ignores Enter; a focused button here
    // is pressed by it as by the space bar.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !autoDefault() && !isDefault()) {
        event->accept();
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}
