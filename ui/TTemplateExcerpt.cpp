#include "TTemplateExcerpt.h"

#include "TemplateLine.h"

TTemplateExcerpt TTemplateExcerpt::Read(const std::string& path, bool first)
{
    // One byte more than is kept tells whether the line went on.
    TTemplateExcerpt result;
    result.Text = morvane::ReadTemplateLine(path, first, kMaxBytes + 1);
    if (result.Text.size() > kMaxBytes) {
        result.Text.resize(kMaxBytes);
        result.Cut = true;
    }
    return result;
}

std::string TTemplateExcerpt::PreviewOf(std::string_view mapped, bool cut)
{
    if (mapped.size() <= kPreviewChars && !cut)
        return std::string(mapped);
    std::string preview(mapped.substr(0, kPreviewChars));
    preview.push_back('\x85'); // "…" in Windows-1252
    return preview;
}
