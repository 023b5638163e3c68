#pragma once

#include "IPlatform.h"

#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

class QObject;

namespace morvane {
class Exception;
}

// The one road by which an error raised inside an event handler reaches the
// user: a modal error box captioned with the application title, after which
// the program simply carries on.

// The platform every box and dialog goes through, the window's as well as
// the error boxes. Null stands for the real desktop (one process-wide
// TQtPlatform). The application object installs its own; tests install a
// fake. Returns the one installed before.
IPlatform* SetCurrentPlatform(IPlatform* platform);
IPlatform& CurrentPlatform();

// The caption of the error box; the application object sets it once.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

// What the boxes need to know about an error object.
struct TErrorDescription {
    std::string ClassName;  // "EConvertError", "std::bad_alloc", ...
    std::string Message;    // the bytes the user reads; empty for unknown objects
    bool Reportable = false; // shown in the error box rather than the last-resort box
};
TErrorDescription DescribeError(std::exception_ptr error);

// The error box's period: appended when the message ends in a byte that sorts
// after ".", so "… valid time" reads "… valid time." but "Done!" stays.
std::string WithErrorPeriod(std::string_view message);

// The last-resort text: "Exception <class> in module <module> at <offset>."
// CR LF, the message with a period unless it has one, CR LF; cut to 1 024
// characters.
QString LastResortText(std::string_view className, std::string_view moduleName,
                       std::uintptr_t offset, std::string_view message);

// The central handler: cancels any mouse capture or open popup, then shows a
// reportable error in the error box and anything else in the last-resort box.
// The sender takes no part in what is shown. Never throws.
void ReportError(QObject* sender, std::exception_ptr error) noexcept;

// Wraps an event handler taking no arguments so that an error it raises is
// reported right where it arises. The application object catches every error
// that escapes an event anyway, but on its way there an error unwinds through
// the toolkit's own frames, which are built without exception support: their
// locals are never destroyed, leaking a little memory each time. Handlers
// connected through this wrapper never unwind through them. Use it for
// connections: connect(button, &QPushButton::clicked, this,
//                      GuardedHandler(this, [this] { btn_SaveExcelFileClick(); }));
template <class THandler>
auto GuardedHandler(QObject* sender, THandler handler)
{
    return [sender, handler = std::move(handler)]() mutable {
        try {
            handler();
        } catch (...) {
            ReportError(sender, std::current_exception());
        }
    };
}

// The error box: the message with its period, the application title as caption.
void ShowErrorBox(const morvane::Exception& error);
void ShowErrorBox(std::string_view message);

// The modal box primitive the error box uses. The box belongs to the active
// window, which is active again once the box is closed.
IPlatform::TButton ShowAppMessageBox(const QString& text, const QString& caption,
                                     IPlatform::TMessageStyle style);

// The box for errors that cannot go through the error box: no owner, caption
// "Application Error". address is where the error was noticed (may be null).
void ShowLastResortError(std::exception_ptr error, const void* address) noexcept;

// Runs body; an error escaping it gets the last-resort box and the result 1.
int RunWithLastResort(const std::function<int()>& body) noexcept;
