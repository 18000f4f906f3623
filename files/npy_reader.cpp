// The .npy reader: 1-D and 2-D arrays of integers and floats, of every
// byte order, in C or Fortran order, format versions 1.0 to 3.0.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/python_literal.h"
#include "files/series_reader_common.h"
#include "files/series_readers.h"

namespace files {

namespace {

enum class NpyKind { Signed, Unsigned, Float };

struct NpyType {
    NpyKind kind = NpyKind::Float;
    size_t size = 0;
    bool bigEndian = false;
};

std::optional<NpyType> npyType(std::string_view descr)
{
    if (descr.size() < 3)
        return std::nullopt;
    NpyType t;
    switch (descr[0]) {
    case '<':
        break;
    case '>':
        t.bigEndian = true;
        break;
    case '=':
        t.bigEndian = std::endian::native == std::endian::big;
        break;
    case '|':
        break;
    default:
        return std::nullopt;
    }
    switch (descr[1]) {
    case 'i':
        t.kind = NpyKind::Signed;
        break;
    case 'u':
        t.kind = NpyKind::Unsigned;
        break;
    case 'f':
        t.kind = NpyKind::Float;
        break;
    default:
        return std::nullopt;
    }
    const std::string_view width = descr.substr(2);
    if (width == "1")
        t.size = 1;
    else if (width == "2")
        t.size = 2;
    else if (width == "4")
        t.size = 4;
    else if (width == "8")
        t.size = 8;
    else
        return std::nullopt;
    if (t.kind == NpyKind::Float && t.size == 1)
        return std::nullopt;
    // "|" says the byte order does not matter, which holds for single bytes only.
    if (descr[0] == '|' && t.size != 1)
        return std::nullopt;
    return t;
}

uint64_t loadUnsigned(const uint8_t* p, size_t size, bool bigEndian)
{
    uint64_t v = 0;
    for (size_t i = 0; i < size; ++i)
        v |= static_cast<uint64_t>(p[bigEndian ? size - 1 - i : i]) << (8 * i);
    return v;
}

double halfToDouble(uint16_t h)
{
    const int sign = h >> 15;
    const int exponent = (h >> 10) & 0x1F;
    const int fraction = h & 0x3FF;
    double v;
    if (exponent == 0)
        v = std::ldexp(fraction, -24);
    else if (exponent == 31)
        v = fraction != 0 ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
    else
        v = std::ldexp(fraction + 1024, exponent - 25);
    return sign ? -v : v;
}

double loadElement(const uint8_t* p, const NpyType& t)
{
    const uint64_t bits = loadUnsigned(p, t.size, t.bigEndian);
    switch (t.kind) {
    case NpyKind::Unsigned:
        return static_cast<double>(bits);
    case NpyKind::Signed: {
        const unsigned shift = static_cast<unsigned>(64 - 8 * t.size);
        return static_cast<double>(static_cast<int64_t>(bits << shift) >> shift);
    }
    case NpyKind::Float:
        if (t.size == 2)
            return halfToDouble(static_cast<uint16_t>(bits));
        if (t.size == 4)
            return static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(bits)));
        return std::bit_cast<double>(bits);
    }
    return 0;
}

// Whether an 8-byte integer element keeps its value as a double.
bool exactAsDouble(const uint8_t* p, const NpyType& t)
{
    if (t.size != 8 || t.kind == NpyKind::Float)
        return true;
    const uint64_t bits = loadUnsigned(p, t.size, t.bigEndian);
    constexpr uint64_t limit = uint64_t{1} << 53;
    if (t.kind == NpyKind::Unsigned)
        return bits <= limit;
    const int64_t v = static_cast<int64_t>(bits);
    return v >= -static_cast<int64_t>(limit) && v <= static_cast<int64_t>(limit);
}

std::string shapeText(const std::vector<uint64_t>& shape)
{
    std::string s = "(";
    for (size_t i = 0; i < shape.size(); ++i) {
        if (i > 0)
            s += ", ";
        s += number(shape[i]);
    }
    if (shape.size() == 1)
        s += ",";
    return s + ")";
}

// What the header of a .npy file says of its array.
struct NpyArray {
    NpyType type;
    std::string descr;            // the dtype as the header writes it
    bool fortranOrder = false;    // the columns one after another, not the rows
    std::vector<uint64_t> shape;  // rows, and columns for a 2-D array
    size_t dataStart = 0;         // the elements' first byte in the file
};

// The magic, the version and the header's length: the header's text and its
// first byte in the file, and the data's first byte; or the problem.
std::string npyFrame(std::span<const uint8_t> bytes, std::string_view name, std::string_view& header,
                     size_t& headerStart, size_t& dataStart)
{
    const size_t size = bytes.size();
    if (size < kNpyMagic.size() || std::memcmp(bytes.data(), kNpyMagic.data(), kNpyMagic.size()) != 0)
        return prefixed(name, "not a .npy file (it does not begin with \\x93NUMPY)");
    if (size < 8)
        return prefixed(name, "the .npy header is cut off at byte " + number(size));
    const unsigned major = bytes[6];
    const unsigned minor = bytes[7];
    if (major < 1 || major > 3 || minor != 0)
        return prefixed(name, ".npy format version " + number(major) + "." + number(minor) +
                                  " is not read (versions 1.0, 2.0 and 3.0 are)");
    const size_t lengthBytes = major == 1 ? 2 : 4;
    headerStart = 8 + lengthBytes;
    if (size < headerStart)
        return prefixed(name, "the .npy header is cut off at byte " + number(size));
    const uint64_t headerLength = loadUnsigned(bytes.data() + 8, lengthBytes, false);
    if (headerLength > size - headerStart)
        return prefixed(name, "the .npy header is cut off at byte " + number(size) + ": it ends at byte " +
                                  number(headerStart + headerLength));
    dataStart = headerStart + static_cast<size_t>(headerLength);
    header =
        std::string_view(reinterpret_cast<const char*>(bytes.data() + headerStart), static_cast<size_t>(headerLength));
    return {};
}

// The header dictionary's 'descr', 'fortran_order' and 'shape' into `array`,
// or the problem.
std::string npyFields(const PyValue& dict, std::string_view name, NpyArray& array)
{
    auto field = [&](std::string_view key) -> const PyValue* {
        for (size_t i = 0; i < dict.keys.size(); ++i)
            if (dict.keys[i] == key)
                return &dict.items[i];
        return nullptr;
    };
    const PyValue* descr = field("descr");
    const PyValue* fortran = field("fortran_order");
    const PyValue* shapeValue = field("shape");
    if (!descr || !fortran || !shapeValue)
        return prefixed(name, "the .npy header lacks " + std::string(!descr     ? "'descr'"
                                                                     : !fortran ? "'fortran_order'"
                                                                                : "'shape'"));
    if (descr->kind != PyValue::Kind::String)
        return prefixed(name, "structured .npy arrays are not read; only plain integer and float arrays");
    const std::optional<NpyType> type = npyType(descr->text);
    if (!type)
        return prefixed(name, "dtype " + quoted(descr->text) +
                                  " is not read; integers (i1 to i8, u1 to u8) and floats (f2, f4, f8) are");
    if (fortran->kind != PyValue::Kind::Bool)
        return prefixed(name, "the .npy header's 'fortran_order' is not True or False");
    if (shapeValue->kind != PyValue::Kind::Sequence)
        return prefixed(name, "the .npy header's 'shape' is not a tuple");
    std::vector<uint64_t>& shape = array.shape;
    for (const PyValue& d : shapeValue->items) {
        if (d.kind != PyValue::Kind::Integer || d.negative || d.tooLarge)
            return prefixed(name, "the .npy header's 'shape' holds something other than a size");
        shape.push_back(d.magnitude);
    }
    if (shape.empty())
        return prefixed(name, "the array holds a single value, not a series");
    if (shape.size() > 2)
        return prefixed(name, "the array has " + number(shape.size()) + " dimensions " + shapeText(shape) +
                                  "; only 1-D and 2-D arrays are read");
    array.type = *type;
    array.descr = descr->text;
    array.fortranOrder = fortran->flag;
    return {};
}

// Whether the file holds every element the shape counts, and at least one;
// or the problem.
std::string npyDataProblem(const NpyArray& array, size_t size, std::string_view name)
{
    uint64_t count = 1;
    for (uint64_t d : array.shape) {
        if (d != 0 && count > std::numeric_limits<uint64_t>::max() / d)
            return prefixed(name, "the array's shape " + shapeText(array.shape) + " is too large");
        count *= d;
    }
    if (count > std::numeric_limits<uint64_t>::max() / array.type.size)
        return prefixed(name, "the array's shape " + shapeText(array.shape) + " is too large");
    const uint64_t dataBytes = count * array.type.size;
    if (dataBytes > size - array.dataStart)
        return prefixed(name, "the .npy data is cut off: " + number(dataBytes) + " bytes from byte " +
                                  number(array.dataStart) + " needed, the file ends at byte " + number(size));
    if (count == 0)
        return std::string(name) + " holds no samples";
    return {};
}

// The column to read, 1-based: the one the options name by number, else the
// last; or the problem.
std::string chooseNpyColumn(std::string_view name, const SeriesReadOptions& options, const NpyArray& array,
                            uint64_t& column)
{
    const uint64_t columns = array.shape.size() == 2 ? array.shape[1] : 1;
    column = columns;
    if (options.column.empty())
        return {};
    const std::optional<uint64_t> index = parseIndex(options.column);
    if (!index)
        return prefixed(name, "a .npy array's columns are chosen by number, not by " + quoted(options.column));
    if (*index < 1 || *index > columns)
        return prefixed(name, "no column " + number(*index) + "; the array " + shapeText(array.shape) + " has " +
                                  number(columns) + (columns == 1 ? " column" : " columns"));
    column = *index;
    return {};
}

// The elements of column `column` (1-based) as the series, refused when one
// is infinite or an integer a double cannot hold, or when all are gaps.
SeriesReadResult readNpyColumn(std::span<const uint8_t> bytes, std::string_view name, const NpyArray& array,
                               uint64_t column)
{
    const NpyType& type = array.type;
    const bool twoD = array.shape.size() == 2;
    const uint64_t rows = array.shape[0];
    const uint64_t columns = twoD ? array.shape[1] : 1;
    SeriesData data;
    data.values.resize(static_cast<size_t>(rows));
    const uint8_t* base = bytes.data() + array.dataStart;
    for (uint64_t i = 0; i < rows; ++i) {
        const uint64_t element = array.fortranOrder ? (column - 1) * rows + i : i * columns + (column - 1);
        const uint8_t* p = base + element * type.size;
        auto where = [&] {
            return twoD ? "element [" + number(i) + ", " + number(column - 1) + "]" : "element [" + number(i) + "]";
        };
        if (!exactAsDouble(p, type))
            return refuse(prefixed(name, where() + " is beyond ±2^53 and would not keep its value"));
        const double v = loadElement(p, type);
        if (std::isinf(v))
            return refuse(prefixed(name, where() + " is infinite"));
        data.values[static_cast<size_t>(i)] = v;
    }
    if (allGaps(data.values))
        return refuse(twoD ? prefixed(name, "column " + number(column) + " holds only gaps")
                           : std::string(name) + " holds only gaps");

    data.integral = type.kind != NpyKind::Float;
    data.format = SeriesFormat::Npy;
    const std::string shape = shapeText(array.shape);
    if (twoD) {
        // A run over every column of an array wider than this is no use
        // (and the list would cost more than the column read).
        constexpr uint64_t kListedColumns = 65536;
        for (uint64_t c = 1; c <= columns && c <= kListedColumns; ++c)
            data.numberColumns.push_back(static_cast<int32_t>(c));
        data.columnName = number(column);
        data.source = "column " + number(column) + " of a " + shape + " " + array.descr + " array";
    } else {
        data.source = "a " + shape + " " + array.descr + " array";
    }
    SeriesReadResult result;
    result.ok = true;
    result.data = std::move(data);
    return result;
}

}  // namespace

SeriesReadResult readNpy(std::span<const uint8_t> bytes, std::string_view name, const SeriesReadOptions& options)
{
    NpyArray array;
    std::string_view headerText;
    size_t headerStart = 0;
    if (std::string problem = npyFrame(bytes, name, headerText, headerStart, array.dataStart); !problem.empty())
        return refuse(std::move(problem));

    PyLiteralParser parser(headerText, headerStart);
    const std::optional<PyValue> dict = parser.parseWhole();
    if (!dict)
        return refuse(prefixed(name, parser.error()));
    if (dict->kind != PyValue::Kind::Dict)
        return refuse(prefixed(name, "the .npy header is not a dictionary"));
    if (std::string problem = npyFields(*dict, name, array); !problem.empty())
        return refuse(std::move(problem));
    if (std::string problem = npyDataProblem(array, bytes.size(), name); !problem.empty())
        return refuse(std::move(problem));

    uint64_t column = 0;
    if (std::string problem = chooseNpyColumn(name, options, array, column); !problem.empty())
        return refuse(std::move(problem));
    return readNpyColumn(bytes, name, array, column);
}

}  // namespace files
