// The JSON writer against the reader: generated documents of nested
// objects, arrays, whole numbers of every width and strings of any bytes
// written and read back to the same values; the reader's refusals name the
// byte; nesting beyond the limit is refused without reading further.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "files/json.h"

namespace {

// Writes a random value and builds the same value as the reader should see it.
nlohmann::json writeRandom(files::JsonWriter& j, std::mt19937_64& rng, int depth)
{
    const int kind = depth >= 4 ? static_cast<int>(rng() % 4) : static_cast<int>(rng() % 6);
    switch (kind) {
    case 0: {
        const int64_t v = static_cast<int64_t>(rng()) >> (rng() % 64);
        j.value(v);
        return v;
    }
    case 1: {
        const uint64_t v = rng() | (uint64_t{1} << 63);
        j.value(v);
        return v;
    }
    case 2: {
        // Any UTF-8: ASCII with every control character, Cyrillic, a
        // four-byte character.
        static const std::string pieces[] = {
            "a", "\"", "\\", "\n", "\t", "\x01", "\x1f", "/", "Ж", "шум", "\xF0\x9F\x93\x88", " "};
        std::string s;
        for (size_t k = rng() % 8; k > 0; --k)
            s += pieces[rng() % std::size(pieces)];
        j.value(s);
        return s;
    }
    case 3:
        if (rng() % 2) {
            j.null();
            return nullptr;
        } else {
            const bool b = rng() % 2;
            j.boolean(b);
            return b;
        }
    case 4: {
        nlohmann::json a = nlohmann::json::array();
        j.beginArray();
        for (size_t k = rng() % 5; k > 0; --k)
            a.push_back(writeRandom(j, rng, depth + 1));
        j.endArray();
        return a;
    }
    default: {
        nlohmann::json o = nlohmann::json::object();
        j.beginObject();
        for (size_t k = rng() % 5; k > 0; --k) {
            std::string name = "k";  // piece by piece: g++ 12 warns falsely about "k" + std::string
            name += std::to_string(k);
            j.key(name);
            o[name] = writeRandom(j, rng, depth + 1);
        }
        j.endObject();
        return o;
    }
    }
}

TEST(Json, WrittenDocumentsReadBackToTheSameValues)
{
    std::mt19937_64 rng(5);
    for (int k = 0; k < 3000; ++k) {
        files::JsonWriter j;
        const nlohmann::json want = writeRandom(j, rng, 0);
        nlohmann::json got;
        std::string error;
        ASSERT_TRUE(files::parseJson(j.text(), got, error)) << error << "\n" << j.text();
        ASSERT_EQ(got, want) << j.text();
    }
}

// detect's reals are the shortest text of the same double; run's keep their
// 17 digits, byte for byte.
TEST(Json, RealsAreShortestAndRunsFiguresKeepTheirDigits)
{
    files::JsonWriter j;
    j.beginArray().real(0.29).real(1e300).real(-0.0).real(NAN).value(0.29).value(30.144).endArray();
    EXPECT_EQ(j.text(), "[0.29, 1e+300, -0, null, 0.28999999999999998, 30.143999999999998]");
    std::mt19937_64 rng(3);
    for (int k = 0; k < 10000; ++k) {
        double v = 0;
        const uint64_t bits = rng();
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v))
            continue;
        files::JsonWriter one;
        one.real(v);
        // strtod, not stod: a subnormal reads back too, with ERANGE.
        ASSERT_EQ(std::strtod(one.text().c_str(), nullptr), v) << one.text();
    }
}

TEST(Json, RefusalsNameTheByteAndTheDepthLimitHolds)
{
    nlohmann::json doc;
    std::string error;
    EXPECT_FALSE(files::parseJson("{\"a\": 1,}", doc, error));
    EXPECT_EQ(error.rfind("not valid JSON at byte 8: ", 0), 0u) << error;
    EXPECT_FALSE(files::parseJson("{\"a\": 1} x", doc, error));
    EXPECT_EQ(error.rfind("not valid JSON at byte 9: ", 0), 0u) << error;
    EXPECT_FALSE(files::parseJson("\"\xff\"", doc, error));
    EXPECT_EQ(error.rfind("not valid JSON at byte ", 0), 0u) << error;
    for (const int depth : {1, 32, 33, 5000}) {
        const std::string text =
            std::string(static_cast<size_t>(depth), '[') + std::string(static_cast<size_t>(depth), ']');
        const bool ok = files::parseJson(text, doc, error);
        EXPECT_EQ(ok, depth <= 33) << depth << ": " << error;
        if (!ok) {
            EXPECT_EQ(error, "not valid JSON: nested more than 33 deep");
        }
    }
}

}  // namespace
