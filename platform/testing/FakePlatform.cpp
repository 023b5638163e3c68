#include "FakePlatform.h"

#include "ErrorReporting.h"

FakePlatform::FakePlatform(bool installAsCurrent)
{
    if (installAsCurrent) {
        previous_ = SetCurrentPlatform(this);
        installed_ = true;
    }
}

FakePlatform::~FakePlatform()
{
    if (installed_)
        SetCurrentPlatform(previous_);
}

IPlatform::TButton FakePlatform::MessageBox(QWidget* parent, const QString& text,
                                            const QString& caption, TMessageStyle style)
{
    MessageBoxes.push_back({parent, text, caption, style});
    Log.push_back(QStringLiteral("MessageBox:%1:%2:%3")
                      .arg(style == TMessageStyle::Error ? QStringLiteral("Error")
                                                         : QStringLiteral("Information"),
                           caption, text));
    if (OnMessageBox) {
        // Copy: the hook may add further boxes.
        const TMessageBoxCall call = MessageBoxes.back();
        OnMessageBox(call);
    }
    return TButton::Ok;
}

int FakePlatform::Ask(QWidget* parent, const QString& text, const QString& caption, const QStringList& buttons)
{
    Q_UNUSED(parent);
    Questions.push_back({text, caption, buttons});
    Log.push_back(QStringLiteral("Ask:%1:%2").arg(caption, text));
    if (askAnswers_.empty())
        return static_cast<int>(buttons.size()) - 1;
    const int answer = askAnswers_.front();
    askAnswers_.pop_front();
    return answer;
}

void FakePlatform::LastResortBox(const QString& text, const QString& caption)
{
    LastResortBoxes.push_back({text, caption});
    Log.push_back(QStringLiteral("LastResortBox:") + caption);
}

std::optional<QString> FakePlatform::SaveFileName(QWidget* parent, const TSaveDialogRequest& request)
{
    Q_UNUSED(parent);
    SaveRequests.push_back(request);
    Log.push_back(QStringLiteral("SaveFileName"));
    return NextAnswer(saveAnswers_);
}

std::unique_ptr<IFileOpenDialog> FakePlatform::CreateFileOpenDialog()
{
    return std::make_unique<FakeFileOpenDialog>(
        [this](const FakeFileOpenDialog::TSettings& settings) {
            OpenRequests.push_back(settings);
            Log.push_back(QStringLiteral("OpenFileName"));
        },
        [this] { return NextAnswer(openAnswers_); });
}

std::optional<QString> FakePlatform::NextAnswer(std::deque<std::optional<QString>>& answers)
{
    if (answers.empty())
        return std::nullopt;
    const bool confirmed = answers.front().has_value();
    const QString name = confirmed ? *answers.front() : QString();
    answers.pop_front();
    if (!confirmed)
        return std::nullopt;
    return name;
}

void FakePlatform::Beep()
{
    ++BeepCount;
    Log.push_back(QStringLiteral("Beep"));
}

void FakePlatform::OpenUrl(const QString& url)
{
    OpenedUrls.push_back(url);
    Log.push_back(QStringLiteral("OpenUrl:") + url);
}

QString FakePlatform::RememberedFolder(TFolder which)
{
    const auto found = RememberedFolders.find(which);
    return found == RememberedFolders.end() ? QString() : found->second;
}

void FakePlatform::RememberFolder(TFolder which, const QString& folder)
{
    RememberedFolders[which] = folder;
    Log.push_back(QStringLiteral("RememberFolder:") + folder);
}

void FakePlatform::QueueSaveAnswer(std::optional<QString> answer)
{
    saveAnswers_.push_back(std::move(answer));
}

void FakePlatform::QueueOpenAnswer(std::optional<QString> answer)
{
    openAnswers_.push_back(std::move(answer));
}

void FakePlatform::QueueOpenAnswers(const QStringList& files)
{
    openAnswers_.push_back(files.join(QLatin1Char('\n')));
}

void FakePlatform::QueueAskAnswer(int button)
{
    askAnswers_.push_back(button);
}

void FakePlatform::Clear()
{
    MessageBoxes.clear();
    Questions.clear();
    askAnswers_.clear();
    LastResortBoxes.clear();
    SaveRequests.clear();
    OpenRequests.clear();
    OpenedUrls.clear();
    BeepCount = 0;
    Log.clear();
    saveAnswers_.clear();
    openAnswers_.clear();
}
