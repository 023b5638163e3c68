#include "FakeFileOpenDialog.h"

FakeFileOpenDialog::FakeFileOpenDialog(std::function<void(const TSettings&)> record,
                                       std::function<std::optional<QString>()> answer)
    : record_(std::move(record)), answer_(std::move(answer))
{
}

bool FakeFileOpenDialog::Execute(QWidget* parent)
{
    settings_.Parent = parent;
    if (record_)
        record_(settings_);
    const std::optional<QString> chosen = answer_ ? answer_() : std::nullopt;
    if (!chosen.has_value())
        return false;
    fileNames_ = chosen->split(QLatin1Char('\n'));
    return true;
}
