#pragma once
// Helpers of the picture tests: which pixels of a picture differ from white.

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "platform/bitmap.h"

namespace picture {

using Pixel = std::pair<int32_t, int32_t>;  // x, y

// Every pixel whose colour is not the background.
std::set<Pixel> inked(const platform::Bitmap& b, platform::Color background = platform::kWhite);

// The smallest rectangle (right and bottom excluded) around the given pixels.
platform::Rect boundsOf(const std::set<Pixel>& pixels);

// Whether two pictures are alike pixel for pixel. When not, both are left in
// the test output folder as <name>-actual.bmp and <name>-expected.bmp, and
// the message tells the first differing pixel and where the files are.
::testing::AssertionResult samePicture(const platform::Bitmap& actual, const platform::Bitmap& expected,
                                       const std::string& name);

// Writes the picture to the test output folder as <name>.bmp (24 bits, the
// test's own writer, so a fault of the system's encoders cannot hide it);
// returns the path, empty when it could not be written.
std::string keepPicture(const platform::Bitmap& picture, const std::string& name);

// Leaves the picture (as <name>, or as <name>-actual beside the expected
// <name>-expected) in the test output folder when the test has failed by the
// end of the scope, assertions included; nothing when the name is empty.
class KeepIfFailed {
  public:
    KeepIfFailed(const platform::Bitmap& actual, std::string name, const platform::Bitmap* expected = nullptr)
        : actual_(actual), expected_(expected), name_(std::move(name))
    {
    }
    ~KeepIfFailed();
    KeepIfFailed(const KeepIfFailed&) = delete;
    KeepIfFailed& operator=(const KeepIfFailed&) = delete;

  private:
    const platform::Bitmap& actual_;
    const platform::Bitmap* expected_;
    std::string name_;
};

// A fixed-seed generator for parameter sweeps, so every run checks the same cases.
struct Sweep {
    uint32_t state = 12345;
    int32_t next(int32_t lo, int32_t hi);  // lo .. hi inclusive
};

}  // namespace picture
