#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;
class TFileOpenEdit;

// When the file-open edit's dialog is cancelled, or the file named already is
// picked again, the focus goes back to the control that had it before the
// browse began, so the page and its boxes stay as the user left them.
//
// A press on the browse button moves the focus into the edit before the
// button sees the press; the control that had it then is the one that lost
// it in that very press.
class TBrowseFocusKeeper : public QObject {
    Q_OBJECT
public:
    explicit TBrowseFocusKeeper(TFileOpenEdit& edit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FocusChanged(QWidget* old, QWidget* now);
    void BeforeBrowse();
    void AfterBrowse();

    TFileOpenEdit& edit_;
    QPointer<QWidget> leftForEdit_;  // lost the focus to the edit in the event at hand
    QPointer<QWidget> atPress_;      // had the focus when the button was pressed
    QPointer<QWidget> before_;
    QString nameBefore_;
};
