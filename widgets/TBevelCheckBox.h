#pragma once

#include <QCheckBox>

// Check box with three states. A click, the space bar or the caption's
// accelerator toggles it: unchecked -> checked (grayed instead with
// AllowGrayed), checked -> unchecked, grayed -> checked. Every change of
// state raises OnChange once; setting the current state does nothing.
class TBevelCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit TBevelCheckBox(QWidget* parent = nullptr);
    TBevelCheckBox(const QString& caption, QWidget* parent);

    Qt::CheckState State() const { return checkState(); }
    void SetState(Qt::CheckState state);
    bool Checked() const { return checkState() == Qt::Checked; }
    void SetChecked(bool checked);
    bool AllowGrayed() const { return allowGrayed_; }
    void SetAllowGrayed(bool on);
    QString Caption() const { return text(); }
    void SetCaption(const QString& caption) { setText(caption); }

signals:
    void OnChange(TBevelCheckBox* sender);

protected:
    void nextCheckState() override;

private:
    bool allowGrayed_ = false;
};
