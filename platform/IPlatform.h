#pragma once

#include "IFileOpenDialog.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QWidget;

// Every modal box, dialog and outside effect of the program goes through
// this layer, so tests can script and record them instead of blocking.
class IPlatform {
public:
    enum class TMessageStyle { Information, Error };
    enum class TButton { Ok };
    // The folders the file dialogs start in, remembered across sessions.
    enum class TFolder { PeFile, Output, Settings };

    struct TSaveDialogRequest {
        QString FileName;   // shown when the dialog opens
        QString Title;      // empty: the platform's own
        QString InitialDir; // empty: the platform's choice
        QString Filter;     // empty: no filter
        QString DefaultExt; // empty: none
    };

    virtual ~IPlatform() = default;

    // The modal message box primitive: text, caption, icon, one OK button.
    virtual TButton MessageBox(QWidget* parent, const QString& text, const QString& caption,
                               TMessageStyle style) = 0;
    // A question answered by one of `buttons` (their texts, "&" marking
    // the accelerator): the index of the one pressed. The first is the
    // default; Esc and the window's close button answer the last, which is
    // therefore always the answer that changes nothing.
    virtual int Ask(QWidget* parent, const QString& text, const QString& caption,
                    const QStringList& buttons) = 0;
    // The box of last resort, usable when no window or event loop works.
    virtual void LastResortBox(const QString& text, const QString& caption) = 0;
    // The save-file dialog, which asks before an existing file is chosen;
    // nullopt when cancelled. It starts with the request's name only: every
    // dialog of the program remembers its own.
    virtual std::optional<QString> SaveFileName(QWidget* parent, const TSaveDialogRequest& request) = 0;
    // A fresh file-open dialog for the file-open edit's browse action, e.g.
    // edit->SetDialogFactory([&platform] { return platform.CreateFileOpenDialog(); }).
    virtual std::unique_ptr<IFileOpenDialog> CreateFileOpenDialog() = 0;
    // The default alert sound.
    virtual void Beep() = 0;
    // The shell's "open" for a web address or a mailto: link.
    virtual void OpenUrl(const QString& url) = 0;
    // The folder last remembered for `which`, in this session or an earlier
    // one; empty when none. It may no longer exist.
    virtual QString RememberedFolder(TFolder which) = 0;
    virtual void RememberFolder(TFolder which, const QString& folder) = 0;
    // The folder of the user's own configuration, where the remembered
    // folders are kept too, created when missing; empty when there is none
    // to write to (nothing is then remembered beyond the session).
    virtual QString ConfigurationFolder() = 0;
};
