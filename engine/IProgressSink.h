#pragma once

#include <cstdint>
#include <string>

namespace morvane {

// Where a conversion run reports how far it has got. Values count 128-byte
// blocks of the input file. Called on the caller's thread, once per line for
// SetValue, so implementations should return quickly when nothing changed.
class IProgressSink {
public:
    virtual ~IProgressSink() = default;

    virtual void SetText(const std::string& text) = 0;
    virtual void Show() = 0;
    virtual void SetMaximum(std::int64_t maximum) = 0;
    virtual void SetValue(std::int64_t value) = 0;
    virtual void SetPercent(int percent) = 0;
};

// For callers that want no progress display at all.
class TNullProgressSink final : public IProgressSink {
public:
    void SetText(const std::string&) override {}
    void Show() override {}
    void SetMaximum(std::int64_t) override {}
    void SetValue(std::int64_t) override {}
    void SetPercent(int) override {}
};

} // namespace morvane
