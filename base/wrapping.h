#pragma once
// The one home of the workbench's fixed-width arithmetic: 32-bit sums,
// differences and products that wrap as two's complement, as the system
// defines its figures. Unsigned arithmetic gives exactly that without the
// undefined behaviour of signed overflow.

#include <cstdint>

namespace base {

// a + b, a - b, a * b and v * v, wrapped to 32 bits.
constexpr int32_t wrapAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
constexpr int32_t wrapSub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
constexpr int32_t wrapMul(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
constexpr int32_t wrapSquare(int32_t v) { return wrapMul(v, v); }
// -v; the negation of INT32_MIN is INT32_MIN again.
constexpr int32_t wrapNegate(int32_t v) { return wrapSub(0, v); }
// The low 32 bits of a wide value read as a signed figure.
constexpr int32_t wrapTo32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

}  // namespace base
