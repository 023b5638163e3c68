#include "TBevelCheckBox.h"

TBevelCheckBox::TBevelCheckBox(QWidget* parent)
    : TBevelCheckBox(QString(), parent)
{
}

TBevelCheckBox::TBevelCheckBox(const QString& caption, QWidget* parent)
    : QCheckBox(caption, parent)
{
    connect(this, &QCheckBox::stateChanged, this, [this] { emit OnChange(this); });
}

void TBevelCheckBox::SetState(Qt::CheckState state)
{
    if (state == Qt::PartiallyChecked)
        setTristate(true);
    setCheckState(state);
}

void TBevelCheckBox::SetChecked(bool checked)
{
    SetState(checked ? Qt::Checked : Qt::Unchecked);
}

void TBevelCheckBox::SetAllowGrayed(bool on)
{
    allowGrayed_ = on;
}

void TBevelCheckBox::nextCheckState()
{
    switch (checkState()) {
    case Qt::Unchecked:
        SetState(allowGrayed_ ? Qt::PartiallyChecked : Qt::Checked);
        break;
    case Qt::PartiallyChecked:
        SetState(Qt::Checked);
        break;
    case Qt::Checked:
        SetState(Qt::Unchecked);
        break;
    }
}
