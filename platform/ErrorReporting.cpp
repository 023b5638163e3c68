#include "ErrorReporting.h"

#include "EOutOfMemory.h"
#include "Exception.h"
#include "MessageText.h"
#include "TQtPlatform.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <cxxabi.h>
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The platform layer has an operation of this name.
#undef MessageBox
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <typeinfo>
#include <vector>

namespace {

IPlatform* currentPlatform = nullptr;

QString& TitleStore()
{
    static QString title;
    return title;
}

constexpr qsizetype LastResortLimit = 1024;
constexpr std::uintptr_t UnknownModuleBase = 0x1000;

std::string ClassNameOf(const std::type_info* type)
{
    if (type == nullptr)
        return "unknown";
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), &std::free);
    std::string name = status == 0 && demangled ? demangled.get() : type->name();
    // Our own classes read as the user knows them from messages and manuals.
    constexpr std::string_view ownNamespace = "morvane::";
    if (name.compare(0, ownNamespace.size(), ownNamespace) == 0)
        name.erase(0, ownNamespace.size());
    return name;
}

std::string BaseName(std::string_view path)
{
#ifdef _WIN32
    const auto slash = path.find_last_of("\\/");
#else
    const auto slash = path.find_last_of('/');
#endif
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

#ifdef _WIN32
// The module's file name in UTF-8, as the message text expects its bytes;
// empty when the name cannot be had.
std::string ModuleFileName(HMODULE module)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return QString::fromWCharArray(buffer.data(), static_cast<qsizetype>(length)).toStdString();
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}
#endif

std::string ProgramFileName()
{
#ifdef _WIN32
    const std::string path = ModuleFileName(nullptr);
    return path.empty() ? std::string("morvane.exe") : BaseName(path);
#else
    char buffer[4096];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return "morvane";
    return BaseName(std::string_view(buffer, static_cast<std::size_t>(length)));
#endif
}

// The module (program or library) whose image holds `address`: its file
// name without the folder and the address's offset from the module's base.
bool FindModule(const void* address, std::string& name, std::uintptr_t& offset)
{
    if (address == nullptr)
        return false;
#ifdef _WIN32
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS
                                  | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module)
        || module == nullptr)
        return false;
    const std::string path = ModuleFileName(module);
    if (path.empty())
        return false;
    name = BaseName(path);
    // A module handle is the address its image is loaded at.
    offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(module);
    return true;
#else
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0')
        return false;
    name = BaseName(info.dli_fname);
    offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    return true;
#endif
}

void CancelMouseMode()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return;
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    if (QWidget* grabber = QWidget::keyboardGrabber())
        grabber->releaseKeyboard();
    // A popup left open would swallow the clicks the user needs for the box.
    for (int guard = 0; guard < 16; ++guard) {
        QWidget* popup = QApplication::activePopupWidget();
        if (popup == nullptr)
            break;
        popup->close();
    }
}

void WriteToTerminal(const char* text) noexcept
{
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace

IPlatform* SetCurrentPlatform(IPlatform* platform)
{
    IPlatform* previous = currentPlatform;
    currentPlatform = platform;
    return previous;
}

IPlatform& CurrentPlatform()
{
    if (currentPlatform != nullptr)
        return *currentPlatform;
    static TQtPlatform desktop;
    return desktop;
}

void SetApplicationTitle(const QString& title)
{
    TitleStore() = title;
}

QString ApplicationTitle()
{
    return TitleStore();
}

TErrorDescription DescribeError(std::exception_ptr error)
{
    TErrorDescription description;
    if (!error)
        return description;
    try {
        std::rethrow_exception(error);
    } catch (const morvane::Exception& e) {
        description = {ClassNameOf(&typeid(e)), e.Message(), true};
    } catch (const std::bad_alloc& e) {
        description = {ClassNameOf(&typeid(e)), morvane::EOutOfMemory().Message(), true};
    } catch (const std::exception& e) {
        description = {ClassNameOf(&typeid(e)), e.what(), true};
    } catch (...) {
        description = {ClassNameOf(abi::__cxa_current_exception_type()), std::string(), false};
    }
    return description;
}

std::string WithErrorPeriod(std::string_view message)
{
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

QString LastResortText(std::string_view className, std::string_view moduleName,
                       std::uintptr_t offset, std::string_view message)
{
    const bool period = !message.empty() && message.back() != '.';
    QString text = QStringLiteral("Exception %1 in module %2 at %3.\r\n%4%5\r\n")
                       .arg(QString::fromUtf8(className.data(), static_cast<qsizetype>(className.size())),
                            MessageToQString(moduleName),
                            QStringLiteral("%1").arg(static_cast<qulonglong>(offset), 8, 16, QLatin1Char('0')).toUpper(),
                            MessageToQString(message),
                            period ? QStringLiteral(".") : QString());
    if (text.size() > LastResortLimit) {
        qsizetype cut = LastResortLimit;
        // Never leave half of a surrogate pair at the end.
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        text.truncate(cut);
    }
    return text;
}

void ReportError(QObject* sender, std::exception_ptr error) noexcept
{
    Q_UNUSED(sender);
    try {
        CancelMouseMode();
        const TErrorDescription description = DescribeError(error);
        if (!description.Reportable) {
            ShowLastResortError(error, nullptr);
            return;
        }
        ShowErrorBox(std::string_view(description.Message));
    } catch (...) {
        // The box itself failed (most likely memory ran out): the terminal is
        // all that is left, and the program must still carry on.
        WriteToTerminal("Morvane: an error could not be shown.");
    }
}

void ShowErrorBox(const morvane::Exception& error)
{
    ShowErrorBox(std::string_view(error.Message()));
}

void ShowErrorBox(std::string_view message)
{
    // The box runs its own event loop, in which the failed handler (a paint
    // handler, say) may fail again the same way: each time a further box
    // would open on top, without end. One box per message at a time is enough.
    static std::vector<std::string> open;
    const std::string text = WithErrorPeriod(message);
    if (std::find(open.begin(), open.end(), text) != open.end())
        return;
    open.push_back(text);
    struct TClose {
        ~TClose() { open.pop_back(); }
    } close;
    ShowAppMessageBox(MessageToQString(text), ApplicationTitle(), IPlatform::TMessageStyle::Error);
}

IPlatform::TButton ShowAppMessageBox(const QString& text, const QString& caption,
                                     IPlatform::TMessageStyle style)
{
    QPointer<QWidget> active;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
        active = QApplication::activeWindow();
    struct TReactivate {
        QPointer<QWidget>& window;
        ~TReactivate()
        {
            if (window && window->isVisible())
                window->activateWindow();
        }
    } reactivate{active};
    return CurrentPlatform().MessageBox(active.data(), text, caption, style);
}

void ShowLastResortError(std::exception_ptr error, const void* address) noexcept
{
    try {
        const TErrorDescription description = DescribeError(error);
        std::string module;
        std::uintptr_t offset = 0;
        const auto where = reinterpret_cast<std::uintptr_t>(address);
        if (!FindModule(address, module, offset)) {
            module = ProgramFileName();
            offset = where >= UnknownModuleBase ? where - UnknownModuleBase : 0;
        }
        CurrentPlatform().LastResortBox(
            LastResortText(description.ClassName, module, offset, description.Message),
            QStringLiteral("Application Error"));
    } catch (...) {
        WriteToTerminal("Morvane: an unexpected error ended the program.");
    }
}

int RunWithLastResort(const std::function<int()>& body) noexcept
{
    try {
        return body();
    } catch (...) {
        ShowLastResortError(std::current_exception(), __builtin_return_address(0));
        return 1;
    }
}
