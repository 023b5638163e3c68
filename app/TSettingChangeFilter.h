#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

// Windows announces a change of the regional settings by broadcasting
// WM_SETTINGCHANGE with "intl" to every top-level window; the toolkit passes
// the message on without telling the application. This filter turns it into
// the application's LocaleChange event, once per announcement however many
// windows of ours receive it. Elsewhere it does nothing.
class TSettingChangeFilter : public QAbstractNativeEventFilter {
public:
    explicit TSettingChangeFilter(QObject* application);
    TSettingChangeFilter(const TSettingChangeFilter&) = delete;
    TSettingChangeFilter& operator=(const TSettingChangeFilter&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    QObject* application_;
};
