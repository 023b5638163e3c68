#pragma once

#include "FakeFileOpenDialog.h"
#include "IPlatform.h"

#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QWidget;

// A scripted platform for tests: it records every box, dialog, beep and link
// request instead of blocking, and answers the save dialog from a script.
class FakePlatform : public IPlatform {
public:
    struct TMessageBoxCall {
        QWidget* Parent = nullptr;
        QString Text;
        QString Caption;
        TMessageStyle Style = TMessageStyle::Information;
    };
    struct TQuestionCall {
        QString Text;
        QString Caption;
        QStringList Buttons;
    };
    struct TLastResortCall {
        QString Text;
        QString Caption;
    };

    FakePlatform() = default;
    // Puts itself in place as the platform of the error boxes for its lifetime
    // when install is true, and puts the previous one back afterwards.
    explicit FakePlatform(bool installAsCurrent);
    ~FakePlatform() override;
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    TButton MessageBox(QWidget* parent, const QString& text, const QString& caption,
                       TMessageStyle style) override;
    // Answers from QueueAskAnswer; with nothing queued, the last button
    // (what Esc would answer).
    int Ask(QWidget* parent, const QString& text, const QString& caption, const QStringList& buttons) override;
    void LastResortBox(const QString& text, const QString& caption) override;
    std::optional<QString> SaveFileName(QWidget* parent, const TSaveDialogRequest& request) override;
    // A scripted dialog: it answers from QueueOpenAnswer and records its
    // settings in OpenRequests when run.
    std::unique_ptr<IFileOpenDialog> CreateFileOpenDialog() override;
    void Beep() override;
    void OpenUrl(const QString& url) override;
    // From and into RememberedFolders.
    QString RememberedFolder(TFolder which) override;
    void RememberFolder(TFolder which, const QString& folder) override;
    // ConfigFolder, empty unless a test sets one.
    QString ConfigurationFolder() override { return ConfigFolder; }

    // Queues the save dialog's next answer; nullopt is a cancel. With nothing
    // queued the dialog is cancelled.
    void QueueSaveAnswer(std::optional<QString> answer);

    // The same for the file-open dialog.
    void QueueOpenAnswer(std::optional<QString> answer);
    // Several files chosen at once in the file-open dialog.
    void QueueOpenAnswers(const QStringList& files);

    // Queues the index of the button the next question is answered with.
    void QueueAskAnswer(int button);

    // Drops every record and every queued answer; the remembered folders
    // stay, as the user's configuration outlives a window.
    void Clear();

    // Records, oldest first.
    std::vector<TMessageBoxCall> MessageBoxes;
    std::vector<TQuestionCall> Questions;
    std::vector<TLastResortCall> LastResortBoxes;
    std::vector<TSaveDialogRequest> SaveRequests;
    std::vector<FakeFileOpenDialog::TSettings> OpenRequests;
    std::vector<QString> OpenedUrls;
    int BeepCount = 0;
    // The user's configuration as far as the folders go.
    std::map<TFolder, QString> RememberedFolders;
    // The configuration folder; it outlives Clear() and windows alike.
    QString ConfigFolder;
    // Every call in order, e.g. "MessageBox:Information:<caption>:<text>",
    // "Ask:<caption>:<text>", "LastResortBox:<caption>", "SaveFileName", "OpenFileName",
    // "Beep", "OpenUrl:<url>", "RememberFolder:<folder>", so
    // tests can check what happened before what.
    std::vector<QString> Log;

    // Runs while a box is "open" (after it has been recorded), e.g. to look at
    // the window's state at that moment.
    std::function<void(const TMessageBoxCall&)> OnMessageBox;

private:
    static std::optional<QString> NextAnswer(std::deque<std::optional<QString>>& answers);

    std::deque<std::optional<QString>> saveAnswers_;
    std::deque<std::optional<QString>> openAnswers_;
    std::deque<int> askAnswers_;
    bool installed_ = false;
    IPlatform* previous_ = nullptr;
};
