#pragma once

#include "IPlatform.h"

// The desktop's own boxes and dialogs through Qt Widgets.
class TQtPlatform : public IPlatform {
public:
    TQtPlatform() = default;
    TQtPlatform(const TQtPlatform&) = delete;
    TQtPlatform& operator=(const TQtPlatform&) = delete;

    TButton MessageBox(QWidget* parent, const QString& text, const QString& caption,
                       TMessageStyle style) override;
    int Ask(QWidget* parent, const QString& text, const QString& caption, const QStringList& buttons) override;
    void LastResortBox(const QString& text, const QString& caption) override;
    std::optional<QString> SaveFileName(QWidget* parent, const TSaveDialogRequest& request) override;
    std::unique_ptr<IFileOpenDialog> CreateFileOpenDialog() override;
    void Beep() override;
    void OpenUrl(const QString& url) override;
    // Kept in the user's configuration folder ($XDG_CONFIG_HOME, else
    // ~/.config), in morvane/morvane.ini.
    QString RememberedFolder(TFolder which) override;
    void RememberFolder(TFolder which, const QString& folder) override;
    // The folder of that morvane.ini.
    QString ConfigurationFolder() override;
};
