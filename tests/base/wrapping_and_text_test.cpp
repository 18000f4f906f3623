// The wrapping arithmetic gives the two's complement results at the edges of
// 32 bits and agrees with 64-bit arithmetic reduced modulo 2^32; formatted
// texts are whole however long they grow.

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "base/formatted_text.h"
#include "base/wrapping.h"

namespace {

using namespace base;

// Usable in constant expressions (the views' coordinate formulas need that).
static_assert(wrapAdd(INT32_MAX, 1) == INT32_MIN);
static_assert(wrapSquare(46341) == -2147479015);  // 46341^2 = 2147488281 = 2^31 + 4633

TEST(WrappingArithmetic, KnownAnswersAtTheEdges)
{
    EXPECT_EQ(wrapAdd(INT32_MAX, 1), INT32_MIN);
    EXPECT_EQ(wrapAdd(INT32_MIN, -1), INT32_MAX);
    EXPECT_EQ(wrapSub(INT32_MIN, 1), INT32_MAX);
    EXPECT_EQ(wrapSub(0, INT32_MIN), INT32_MIN);
    EXPECT_EQ(wrapMul(65536, 65536), 0);
    EXPECT_EQ(wrapMul(INT32_MIN, -1), INT32_MIN);
    EXPECT_EQ(wrapSquare(46340), 2147395600);  // the largest square that fits
    EXPECT_EQ(wrapSquare(46341), -2147479015);
    EXPECT_EQ(wrapSquare(-46341), -2147479015);
    EXPECT_EQ(wrapNegate(INT32_MIN), INT32_MIN);
    EXPECT_EQ(wrapTo32(int64_t{1} << 32), 0);
    EXPECT_EQ(wrapTo32((int64_t{1} << 32) + 5), 5);
    EXPECT_EQ(wrapTo32(int64_t{INT32_MAX} + 1), INT32_MIN);
    EXPECT_EQ(wrapTo32(INT64_MIN), 0);
}

// Exact 64-bit results brought back into 32 bits by adding or taking 2^32.
int64_t modulo32(int64_t v)
{
    constexpr int64_t k2to32 = int64_t{1} << 32;
    v %= k2to32;
    if (v >= k2to32 / 2)
        v -= k2to32;
    if (v < -k2to32 / 2)
        v += k2to32;
    return v;
}

TEST(WrappingArithmetic, AgreesWithWideArithmeticModulo2To32)
{
    std::mt19937 gen(20261207);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    for (int i = 0; i < 100000; ++i) {
        const int32_t a = any(gen), b = i % 2 ? any(gen) : static_cast<int32_t>(any(gen) % 50000);
        ASSERT_EQ(wrapAdd(a, b), modulo32(int64_t{a} + b)) << a << " " << b;
        ASSERT_EQ(wrapSub(a, b), modulo32(int64_t{a} - b)) << a << " " << b;
        ASSERT_EQ(wrapMul(a, b), modulo32(int64_t{a} * b)) << a << " " << b;
        ASSERT_EQ(wrapSquare(b), modulo32(int64_t{b} * b)) << b;
    }
}

TEST(FormattedText, LongTextsAreWholeAndPiecesAppend)
{
    // Around the piece the formatter writes on the stack, and far beyond
    // 96, 160 and 256 bytes, the sizes a fixed buffer would cut the texts to.
    for (const size_t n : {size_t{0}, size_t{95}, size_t{254}, size_t{255}, size_t{256}, size_t{257}, size_t{5000}}) {
        const std::string name(n, 'x');
        EXPECT_EQ(formatText("File Name: %s \n", name.c_str()), "File Name: " + name + " \n") << n;
        std::string text = "head;";
        appendFormat(text, "[%s]%d", name.c_str(), -7);
        EXPECT_EQ(text, "head;[" + name + "]-7") << n;
    }
    std::string figures, expected;
    for (int k = 0; k < 300; ++k) {
        appendFormat(figures, " \t%5d ", k * 1001);
        const std::string digits = std::to_string(k * 1001);
        expected += " \t" + std::string(digits.size() < 5 ? 5 - digits.size() : 0, ' ') + digits + " ";
    }
    EXPECT_EQ(figures, expected);
    EXPECT_EQ(formatText("%.3f|%016llx|%zu", 2.5, 0xABCULL, size_t{12}), "2.500|0000000000000abc|12");
    // Every byte stays, a zero from "%c" included.
    EXPECT_EQ(formatText("a%cb", 0), std::string("a\0b", 3));
    EXPECT_EQ(formatText("%s", ""), "");
}

}  // namespace
