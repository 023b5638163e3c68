#include "TLineBatch.h"

namespace morvane {

namespace {

template <typename V>
struct TFindLines {
    static void Run(TLineBatch* batch, const unsigned char* bytes, std::size_t n) { batch->FindAt<V>(bytes, n); }
};

} // namespace

void TLineBatch::Find(const unsigned char* bytes, std::size_t n)
{
    AtProcessWidth<TFindLines>(this, bytes, n);
}

} // namespace morvane
