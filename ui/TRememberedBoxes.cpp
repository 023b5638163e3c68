#include "TRememberedBoxes.h"

#include "IPlatform.h"
#include "TBevelEdit.h"
#include "TRememberedSettings.h"
#include "TReplacementRow.h"
#include "FileSystemNames.h"
#include "TWindowSettings.h"
#include "uMain.h"

#include <QDateTime>
#include <QScopedValueRollback>

const char* const TRememberedBoxes::kFileName = "remembered-settings.txt";

TRememberedBoxes::TRememberedBoxes(TfMain* window)
    : QObject(window)
    , window_(window)
{
    for (TReplacementRow* row : {&window_->HeaderRow(), &window_->LineRow()}) {
        connect(row, &TReplacementRow::BoxChanged, this, [this] {
            if (!restoring_)
                EndNote();
        });
    }
}

TRememberedBoxes::~TRememberedBoxes() = default;

void TRememberedBoxes::Load(IPlatform& platform)
{
    const QString folder = platform.ConfigurationFolder();
    if (folder.isEmpty())
        return;
    store_ = std::make_unique<morvane::TRememberedSettings>(
        PathBytes(folder + QLatin1Char('/') + QLatin1String(kFileName)));
    // A damaged store is set aside by the load; the window starts without.
    store_->Load();
}

void TRememberedBoxes::RowsRebuilt()
{
    EndNote();
    rowsSeparatorSet_ = window_->SeparatorSet();
    rowsBuilt_ = true;
    const TTemplateExcerpt& header = window_->HeaderTemplate();
    const QScopedValueRollback restoring(restoring_, true);
    std::optional<morvane::TConversionSettings> adopted = std::move(adopted_);
    adopted_.reset();
    // A remembered run of this header comes back whatever was opened before:
    // it is what the user last converted with, and a settings file opened
    // earlier is older than that run.
    const morvane::TRememberedSettings::TEntry* entry =
        store_ && !header.Text.empty() && !header.Cut ? store_->Find(header.Text, window_->SeparatorSet()) : nullptr;
    if (!entry) {
        if (adopted && adopted->SeparatorSet == window_->SeparatorSet() && adoptedHeader_ == header.Text) {
            TWindowSettings::ApplyOptions(*window_, *adopted);
            TWindowSettings::ApplyRows(*window_, *adopted);
        }
        return;
    }
    TWindowSettings::ApplyOptions(*window_, entry->Settings.Conversion);
    TWindowSettings::ApplyRows(*window_, entry->Settings.Conversion);
    ShowNote(QStringLiteral("Boxes as in your conversion of %1.").arg(QString::fromStdString(entry->When)));
}

void TRememberedBoxes::Remember()
{
    if (!store_)
        return;
    // The run is now what a rebuild for this header brings back.
    adopted_.reset();
    const QString when = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    store_->Remember(TWindowSettings::Collect(*window_), when.toStdString());
}

void TRememberedBoxes::RememberRun(const morvane::TSavedSettings& run)
{
    if (!store_)
        return;
    adopted_.reset();
    const QString when = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    store_->Remember(run, when.toStdString());
}

void TRememberedBoxes::Adopt(const morvane::TConversionSettings& settings)
{
    adopted_ = settings;
    adoptedHeader_ = window_->HeaderTemplate().Text;
}

bool TRememberedBoxes::RowsCurrent() const
{
    return rowsBuilt_ && !window_->TemplatesStale() && rowsSeparatorSet_ == window_->SeparatorSet();
}

void TRememberedBoxes::ShowNote(const QString& note)
{
    window_->HeaderRow().SetNote(note);
    window_->LineRow().SetNote(note);
    noteShown_ = true;
}

void TRememberedBoxes::EndNote()
{
    if (!noteShown_)
        return;
    noteShown_ = false;
    window_->HeaderRow().SetNote({});
    window_->LineRow().SetNote({});
}
