#include "TLineBatch.h"

namespace morvane {

namespace {

template <typename V>
struct TFindLines {
    static void Run(TLineBatch* batch, const unsigned char* bytes, std::size_t n, std::size_t maxLines)
    {
        batch->FindAt<V>(bytes, n, maxLines);
    }
};

} // namespace

void TLineBatch::Find(const unsigned char* bytes, std::size_t n, std::size_t maxLines)
{
    AtProcessWidth<TFindLines>(this, bytes, n, maxLines);
}

} // namespace morvane
