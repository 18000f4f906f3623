#pragma once
// The header of a .npy file is a Python literal, a dictionary such as
// {'descr': '<f8', 'fortran_order': False, 'shape': (1000,), }; this reads
// the strings, tuples, lists, dictionaries, integers, True, False and None
// such a header is written with.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace files {

// A value of the header's Python literal: the dictionary's keys and values.
struct PyValue {
    enum class Kind { String, Bool, None, Integer, Sequence, Dict } kind = Kind::None;
    std::string text;
    bool flag = false;
    bool negative = false;
    uint64_t magnitude = 0;
    bool tooLarge = false;
    std::vector<PyValue> items;     // a tuple or list; a dictionary's values
    std::vector<std::string> keys;  // a dictionary's keys, one per item
};

class PyLiteralParser {
  public:
    PyLiteralParser(std::string_view text, size_t offset) : text_(text), offset_(offset) {}

    // The literal, or nothing with the reason in error().
    std::optional<PyValue> parseWhole();
    const std::string& error() const { return error_; }

  private:
    static constexpr int kDeepest = 16;

    std::nullopt_t fail(const std::string& what);
    void skip();
    bool word(std::string_view w);

    // One value: a string, a tuple or list, a dictionary, an integer, True,
    // False or None.
    std::optional<PyValue> value(int depth);

    // A string in `quote`s, at its opening quote; a backslash keeps the
    // character after it.
    std::optional<PyValue> stringValue(char quote);

    // A tuple or list up to `close`, at its opening bracket; a comma may
    // follow the last item.
    std::optional<PyValue> sequenceValue(char close, int depth);

    // A dictionary with string keys, at its opening brace.
    std::optional<PyValue> dictionaryValue(int depth);

    // A whole number, at its sign or first digit `c`; tooLarge says that it
    // passed the largest 64-bit value.
    std::optional<PyValue> integerValue(char c);

    std::string_view text_;
    size_t offset_;  // the header's first byte in the file
    size_t at_ = 0;
    std::string error_;
};

}  // namespace files
