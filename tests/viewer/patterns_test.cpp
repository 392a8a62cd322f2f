// The three file-name patterns share one checker but keep their own rules:
// a change to the checker must not let one caller's rules leak into another.
#include <gtest/gtest.h>

#include <string>

#include "png.h"
#include "printf_pattern.h"
#include "tracks.h"
#include "xrw.h"

namespace {

// Whether the slice-stack reader takes the pattern: with step 0 a pattern
// it accepts is refused for the step instead, before any file is opened.
bool slicePatternTaken(const char *pattern)
{
    testing::internal::CaptureStderr();
    Xvol *v = loadTifStack(pattern, 0, 1, 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(v, nullptr);
    if (err == "Slice step 0 is below 1.\n")
        return true;
    EXPECT_EQ(err, std::string("Slice name pattern '") + pattern +
                       "' must hold exactly one integer conversion.\n");
    return false;
}

bool pngPatternTaken(const char *pattern, bool *numbered)
{
    *numbered = false;
    return vq::checkPngPattern(pattern, numbered);
}

struct Case {
    const char *pattern;
    bool track, slice, png, pngNumbered;
};

} // namespace

TEST(FileNamePatterns, EachCallerKeepsItsOwnRules)
{
    const Case cases[] = {
        {"t%d.txt", true, true, true, true},
        {"t%-2i_%%.txt", true, true, true, true},
        // Tracks alone take the grouping flag.
        {"t%'d.txt", true, false, false, false},
        // Precision, wide widths and the o, x, X conversions: not in PNG names.
        {"t%5.3d.txt", true, true, false, false},
        {"t%123d.txt", true, true, false, false},
        {"t%x.txt", true, true, false, false},
        {"t%o.txt", true, true, false, false},
        // No conversion at all: one fixed PNG name, never a numbered series.
        {"plain.png", false, false, true, false},
        {"100%%.png", false, false, true, false},
        // Nobody takes what one int cannot fill safely.
        {"t%d%d.txt", false, false, false, false},
        {"t%ld.txt", false, false, false, false},
        {"t%*d.txt", false, false, false, false},
        {"t%n.txt", false, false, false, false},
        {"t%s.txt", false, false, false, false},
        {"t%", false, false, false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(trackPatternValid(c.pattern), c.track) << c.pattern;
        EXPECT_EQ(slicePatternTaken(c.pattern), c.slice) << c.pattern;
        bool numbered = false;
        EXPECT_EQ(pngPatternTaken(c.pattern, &numbered), c.png) << c.pattern;
        if (c.png) {
            EXPECT_EQ(numbered, c.pngNumbered) << c.pattern;
        }
    }
}

// A field wider than the name buffer can never make a usable name, and
// formatting it would cost its whole width: a width of a billion took the
// track reader seconds. Both readers refuse it up front with the message
// an over-long name gets.
TEST(FileNamePatterns, FieldsWiderThanTheNameAreRefusedUnformatted)
{
    EXPECT_TRUE(vq::patternFieldsFit("t%05d_%-399i%%1000000.txt", 399));
    EXPECT_TRUE(vq::patternFieldsFit("%.399x", 399));
    EXPECT_FALSE(vq::patternFieldsFit("t%400d", 399));
    EXPECT_FALSE(vq::patternFieldsFit("t%.400d", 399));
    EXPECT_FALSE(vq::patternFieldsFit("1% 1444444442X4", 399));
    EXPECT_FALSE(vq::patternFieldsFit("%0099999999999999999999999d", 399));

    const char *wide[] = {"t% 1444444442d.txt", "t%.1444444442d.txt", "t%'0999999999999d.txt"};
    for (const char *pattern : wide) {
        ASSERT_TRUE(trackPatternValid(pattern)) << pattern;
        testing::internal::CaptureStderr();
        EXPECT_EQ(readTracks(pattern, 1), -1) << pattern;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("Track file name from '") + pattern + "' is longer than 399 characters.\n");
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(loadTifStack("s%1444444442d.tga", 0, 1, 1), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Slice name from pattern 's%1444444442d.tga' is longer than 254 characters.\n");
}
