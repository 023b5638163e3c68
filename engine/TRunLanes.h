#pragma once

#include <cstddef>
#include <cstdint>

#include "TNumberRun.h"

namespace morvane {

// Up to four fields' runs side by side, one to a lane of one vector, for
// the lines whose fields stand where the line before held them and keep
// their runs' shapes: one line then costs all its fields a few vector
// operations. The runs are taken in with Load and given back with Store;
// in between only the lanes hold them.
class TRunLanes {
public:
    static constexpr std::size_t kLanes = 4;

    // Whether the process runs at a vector width the lanes are built for.
    static bool Usable();

    // Takes in `n` (1 to kLanes) running runs, whose fields lie `from`
    // bytes into the lines with `length` (1 to TNumberRun::kLongest) bytes.
    void Load(TNumberRun* const* runs, std::size_t n, const std::uint8_t* from, const std::uint8_t* length);
    // The next line, at `text`, eight bytes of each field readable, at
    // `time`: added where every field's text is of its run's shape; false,
    // with nothing added, otherwise.
    bool Add(const char* text, std::int64_t time);
    // Gives the runs back, as if each line had gone into them one by one.
    void Store(TNumberRun* const* runs) const;

private:
    // Keys are kept with their top bit flipped, so that signed compares
    // order them.
    static constexpr std::uint64_t kBias = std::uint64_t{1} << 63;

    std::uint64_t shape_[kLanes] = {};
    std::uint64_t keep_[kLanes] = {};   // the bytes of each field's length
    std::uint64_t top_[kLanes] = {};    // their top bits
    std::uint64_t length_[kLanes] = {}; // as it stands in a shape
    std::uint64_t flip_[kLanes] = {};   // the run's flip, and the bias
    std::uint64_t min_[kLanes] = {};
    std::uint64_t max_[kLanes] = {};
    std::uint64_t first_[kLanes] = {};
    std::uint64_t last_[kLanes] = {};
    std::int64_t firstTime_[kLanes] = {};
    std::int64_t lastTime_[kLanes] = {};
    std::uint32_t from_[kLanes] = {};
    std::size_t n_ = 0;
    std::int64_t added_ = 0;
};

} // namespace morvane
