#include "TSettingChangeFilter.h"

#include <QCoreApplication>
#include <QEvent>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cwchar>
#endif

TSettingChangeFilter::TSettingChangeFilter(QObject* application)
    : application_(application)
{
}

bool TSettingChangeFilter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result)
{
    Q_UNUSED(result);
#ifdef _WIN32
    if (eventType != "windows_generic_MSG" || message == nullptr)
        return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_SETTINGCHANGE || msg->lParam == 0)
        return false;
    const auto* area = reinterpret_cast<const wchar_t*>(msg->lParam);
    if (std::wcscmp(area, L"intl") != 0)
        return false;
    // Every top-level window gets the broadcast: a new announcement replaces
    // one still pending, so the settings are read once, after the last.
    QCoreApplication::removePostedEvents(application_, QEvent::LocaleChange);
    QCoreApplication::postEvent(application_, new QEvent(QEvent::LocaleChange));
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    return false;
}
