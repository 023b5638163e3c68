// The width the kernels run at, and the block scanner every line search is
// built on, at each width this processor has.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "EUnsupportedWidth.h"
#include "TVectorWidth.h"
#include "VectorBytes.h"

namespace morvane {
namespace {

using TKind = TVectorWidth::TKind;

TEST(VectorWidth, TheRequestPicksAWidthUpToTheProcessorsWidest)
{
    const struct {
        const char* request;
        TKind widest;
        std::string chosen; // empty: refused
    } cases[] = {
        {nullptr, TKind::Avx2, "avx2"}, {"", TKind::Sse2, "sse2"},     {"scalar", TKind::Avx2, "scalar"},
        {"sse2", TKind::Avx2, "sse2"},  {"avx2", TKind::Avx2, "avx2"}, {"avx2", TKind::Sse2, ""},
        {"sse2", TKind::Scalar, ""},    {"AVX2", TKind::Avx2, ""},     {"avx512", TKind::Avx2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request ? c.request : "(unset)");
        std::string chosen;
        std::string message;
        try {
            chosen = TVectorWidth::Name(TVectorWidth::Choose(c.request, c.widest));
        } catch (const EUnsupportedWidth& e) {
            message = e.Message();
        }
        EXPECT_EQ(chosen, c.chosen);
        // A refusal names what was asked for, so the user knows what to unset.
        EXPECT_EQ(message.find("MORVANE_SIMD=") != std::string::npos, c.chosen.empty());
    }
}

// The scanner's bits and the map at width V, against a byte-by-byte look.
template <typename V>
void ExpectScannerAndMapAgreeWithBytes()
{
    std::mt19937 random(22);
    // Mostly the bytes that matter, so that every bit position sees them.
    const unsigned char alphabet[] = {'\n', '\r', 26, ',', ';', 'a', '0', 0xff};
    const unsigned char mapped[] = {',', 0xff};
    const TBlockScanner<V> scanner;
    const TVectorByteSet<V, 2> set(mapped, 2);
    typename V::Vector with;
    V::Broadcast(';', with);
    for (int round = 0; round < 200; ++round) {
        unsigned char block[kScanBlock];
        for (unsigned char& b : block)
            b = alphabet[random() % sizeof alphabet];
        TBlockBits expected{0, 0, 0};
        std::string expectedMap;
        for (std::size_t i = 0; i < kScanBlock; ++i) {
            expected.Lf |= std::uint64_t{block[i] == '\n'} << i;
            expected.Cr |= std::uint64_t{block[i] == '\r'} << i;
            expected.CtrlZ |= std::uint64_t{block[i] == 26} << i;
            expectedMap += static_cast<char>(block[i] == ',' || block[i] == 0xff ? ';' : block[i]);
        }
        const TBlockBits bits = scanner.Scan(block);
        EXPECT_EQ(bits.Lf, expected.Lf);
        EXPECT_EQ(bits.Cr, expected.Cr);
        EXPECT_EQ(bits.CtrlZ, expected.CtrlZ);
        // Any size from one vector up, so that the overlapping last block
        // is taken at every offset.
        const std::size_t size = V::kWidth + static_cast<std::size_t>(round) % (kScanBlock - V::kWidth + 1);
        unsigned char out[kScanBlock];
        set.Map(block, out, size, 2, with);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), size), expectedMap.substr(0, size));
    }
}

TEST(BlockScanner, EveryWidthFindsWhatTheBytesHold)
{
    ExpectScannerAndMapAgreeWithBytes<TScalarBytes>();
#if defined(__SSE2__)
    ExpectScannerAndMapAgreeWithBytes<TSse2Bytes>();
#endif
#if defined(MORVANE_HAVE_AVX2_KERNELS)
    if (TVectorWidth::Widest() == TKind::Avx2)
        ExpectScannerAndMapAgreeWithBytes<TAvx2Bytes>();
#endif
}

} // namespace
} // namespace morvane
