#include "files/python_literal.h"

#include <cctype>
#include <limits>

#include "files/series_reader_common.h"

namespace files {

std::optional<PyValue> PyLiteralParser::parseWhole()
{
    std::optional<PyValue> v = value(0);
    if (!v)
        return std::nullopt;
    skip();
    if (at_ < text_.size())
        return fail("unexpected text after the header's dictionary");
    return v;
}

std::nullopt_t PyLiteralParser::fail(const std::string& what)
{
    if (error_.empty())
        error_ = "the .npy header cannot be read at byte " + number(offset_ + at_) + ": " + what;
    return std::nullopt;
}

void PyLiteralParser::skip()
{
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
        ++at_;
}

bool PyLiteralParser::word(std::string_view w)
{
    if (text_.substr(at_, w.size()) != w)
        return false;
    const size_t after = at_ + w.size();
    if (after < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[after])) || text_[after] == '_'))
        return false;
    at_ = after;
    return true;
}

std::optional<PyValue> PyLiteralParser::value(int depth)
{
    if (depth > kDeepest)
        return fail("nested too deeply");
    skip();
    if (at_ >= text_.size())
        return fail("the header ends inside its dictionary");
    const char c = text_[at_];
    if (c == '\'' || c == '"')
        return stringValue(c);
    if (c == '(' || c == '[')
        return sequenceValue(c == '(' ? ')' : ']', depth);
    if (c == '{')
        return dictionaryValue(depth);
    if (c == '-' || c == '+' || (c >= '0' && c <= '9'))
        return integerValue(c);
    PyValue v;
    if (word("True") || word("False")) {
        v.kind = PyValue::Kind::Bool;
        v.flag = text_[at_ - 4] == 'T';
        return v;
    }
    if (word("None"))
        return v;
    return fail("unexpected character " + quoted(std::string_view(&text_[at_], 1)));
}

std::optional<PyValue> PyLiteralParser::stringValue(char quote)
{
    PyValue v;
    v.kind = PyValue::Kind::String;
    ++at_;
    while (true) {
        if (at_ >= text_.size())
            return fail("a string is not closed");
        const char d = text_[at_++];
        if (d == quote)
            break;
        if (d == '\\') {
            if (at_ >= text_.size())
                return fail("a string is not closed");
            v.text += text_[at_++];
        } else {
            v.text += d;
        }
    }
    return v;
}

std::optional<PyValue> PyLiteralParser::sequenceValue(char close, int depth)
{
    PyValue v;
    v.kind = PyValue::Kind::Sequence;
    ++at_;
    while (true) {
        skip();
        if (at_ < text_.size() && text_[at_] == close) {
            ++at_;
            return v;
        }
        std::optional<PyValue> item = value(depth + 1);
        if (!item)
            return std::nullopt;
        v.items.push_back(std::move(*item));
        skip();
        if (at_ < text_.size() && text_[at_] == ',')
            ++at_;
        else if (at_ < text_.size() && text_[at_] == close)
            continue;
        else
            return fail(std::string("expected ',' or '") + close + "'");
    }
}

std::optional<PyValue> PyLiteralParser::dictionaryValue(int depth)
{
    PyValue v;
    v.kind = PyValue::Kind::Dict;
    ++at_;
    while (true) {
        skip();
        if (at_ < text_.size() && text_[at_] == '}') {
            ++at_;
            return v;
        }
        std::optional<PyValue> key = value(depth + 1);
        if (!key)
            return std::nullopt;
        if (key->kind != PyValue::Kind::String)
            return fail("a key of the dictionary is not a string");
        skip();
        if (at_ >= text_.size() || text_[at_] != ':')
            return fail("expected ':'");
        ++at_;
        std::optional<PyValue> item = value(depth + 1);
        if (!item)
            return std::nullopt;
        v.keys.push_back(std::move(key->text));
        v.items.push_back(std::move(*item));
        skip();
        if (at_ < text_.size() && text_[at_] == ',')
            ++at_;
        else if (at_ < text_.size() && text_[at_] == '}')
            continue;
        else
            return fail("expected ',' or '}'");
    }
}

std::optional<PyValue> PyLiteralParser::integerValue(char c)
{
    PyValue v;
    v.kind = PyValue::Kind::Integer;
    if (c == '-' || c == '+') {
        v.negative = c == '-';
        ++at_;
    }
    const size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
        const uint64_t d = static_cast<uint64_t>(text_[at_] - '0');
        if (v.magnitude > (std::numeric_limits<uint64_t>::max() - d) / 10)
            v.tooLarge = true;
        else
            v.magnitude = v.magnitude * 10 + d;
        ++at_;
    }
    if (at_ == start)
        return fail("a sign without digits");
    // Python 2 wrote the shape's numbers as long integers: 1000L.
    if (at_ < text_.size() && (text_[at_] == 'L' || text_[at_] == 'l'))
        ++at_;
    return v;
}

}  // namespace files
