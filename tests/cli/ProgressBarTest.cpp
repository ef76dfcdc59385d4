#include "cli/core/CProgressBar.h"
#include "cli/core/CUtf8.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tavik::cli {
namespace {

TEST(ProgressBarTest, Bytes) {
    EXPECT_EQ(CProgressBar::formatBytes(0), "0 B");
    EXPECT_EQ(CProgressBar::formatBytes(1023), "1023 B");
    EXPECT_EQ(CProgressBar::formatBytes(1024), "1.00 KiB");
    EXPECT_EQ(CProgressBar::formatBytes(1536), "1.50 KiB");
    EXPECT_EQ(CProgressBar::formatBytes(10 * 1024), "10.0 KiB");
    EXPECT_EQ(CProgressBar::formatBytes(200 * 1024), "200 KiB");
    // 1023.9 KiB would round to "1024 KiB": it is shown in the next unit instead.
    EXPECT_EQ(CProgressBar::formatBytes(1024 * 1024 - 100), "1.00 MiB");
    EXPECT_EQ(CProgressBar::formatBytes(5ull * 1024 * 1024 * 1024), "5.00 GiB");
    EXPECT_EQ(CProgressBar::formatBytes(0xFFFFFFFFull), "4.00 GiB");
}

TEST(ProgressBarTest, RateAndDuration) {
    EXPECT_EQ(CProgressBar::formatRate(1000, 0), "-");
    EXPECT_EQ(CProgressBar::formatRate(2048, 1000), "2.00 KiB/s");
    EXPECT_EQ(CProgressBar::formatRate(1024 * 1024, 500), "2.00 MiB/s");
    EXPECT_EQ(CProgressBar::formatDuration(0), "0:00");
    EXPECT_EQ(CProgressBar::formatDuration(7), "0:07");
    EXPECT_EQ(CProgressBar::formatDuration(754), "12:34");
    EXPECT_EQ(CProgressBar::formatDuration(3723), "1:02:03");
}

TEST(ProgressBarTest, RemainingTimeFromTheAverageRate) {
    EXPECT_FALSE(CProgressBar::remainingSeconds(0, 100, 1000)); // nothing moved yet
    // 100 bytes in 1 s, 250 left: 2.5 s, shown as 3 so that 0 means done.
    EXPECT_EQ(CProgressBar::remainingSeconds(100, 250, 1000), 3u);
    EXPECT_EQ(CProgressBar::remainingSeconds(100, 0, 1000), 0u);
    // Large files must not overflow: 3 GiB moved in 60 s, 1 GiB left.
    EXPECT_EQ(CProgressBar::remainingSeconds(3ull << 30, 1ull << 30, 60000), 20u);
}

TEST(ProgressBarTest, PercentCountsTheWholeFile) {
    ProgressSample s{"f", 0, 50, 200, 10};
    EXPECT_EQ(CProgressBar::percent(s), 25);
    s.endPos = 0;
    s.pos = 0;
    EXPECT_EQ(CProgressBar::percent(s), 100); // an empty file is done at once
    s = ProgressSample{"f", 100, 150, 200, 10};
    EXPECT_EQ(CProgressBar::percent(s), 75); // a resumed file shows its absolute share
}

TEST(ProgressBarTest, LineShowsEverythingAndFitsTheWidth) {
    // Resumed at 1 MiB, 2 MiB moved in 2 s (1 MiB/s), 1 MiB left: 1 s.
    const ProgressSample s{"movie.mp4", 1 << 20, 3 << 20, 4 << 20, 2000};
    const std::string line = CProgressBar::line(s, 100);
    EXPECT_NE(line.find("movie.mp4"), std::string::npos) << line;
    EXPECT_NE(line.find("[###############.....]"), std::string::npos) << line;
    EXPECT_NE(line.find(" 75%"), std::string::npos) << line;
    EXPECT_NE(line.find("3.00 MiB / 4.00 MiB"), std::string::npos) << line;
    EXPECT_NE(line.find("1.00 MiB/s"), std::string::npos) << line;
    EXPECT_NE(line.find("0:01 left"), std::string::npos) << line;
    EXPECT_LE(CUtf8::displayWidth(line), 99u);

    // A long Korean name is cut on a character boundary to leave the figures whole.
    const ProgressSample wide{"아주긴한국어파일이름입니다아주긴한국어파일이름입니다.txt", 0, 1, 2,
                              1};
    for (int width : {45, 50, 60, 70, 71, 72, 200}) {
        const std::string cut = CProgressBar::line(wide, width);
        EXPECT_LE(CUtf8::displayWidth(cut), static_cast<size_t>(width - 1)) << width;
        EXPECT_NE(cut.find("left"), std::string::npos) << width;
        EXPECT_EQ(CUtf8::toUtf16(cut).find(u'\uFFFD'), std::u16string::npos) << cut;
    }
    // Narrow terminals lose the bar before the name, and the numbers only at the very last.
    EXPECT_EQ(CProgressBar::line(wide, 50).find('['), std::string::npos);
    EXPECT_NE(CProgressBar::line(wide, 80).find('['), std::string::npos);
    EXPECT_EQ(CProgressBar::line(wide, 20), " 50%  1 B / 2 B  10");
}

TEST(ProgressBarTest, RedrawsInPlaceAndEndsTheLine) {
    std::ostringstream out;
    {
        CProgressBar bar(out, 80);
        bar.update({"a", 0, 0, 1000, 0});
        bar.update({"a", 0, 1, 1000, 1});   // same percent, too soon: not drawn
        bar.update({"a", 0, 500, 1000, 2}); // another percent: drawn
        bar.update({"b", 0, 10, 10, 3});    // another file: new line first
    }                                       // the destructor ends the last line
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 3) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    EXPECT_NE(text.find(" 50%"), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_LT(text.find("\n"), text.find("b ["));
}

TEST(ProgressBarTest, NothingDrawnNothingEnded) {
    std::ostringstream out;
    {
        CProgressBar bar(out, 80);
        bar.finish();
    }
    EXPECT_TRUE(out.str().empty());
}

} // namespace
} // namespace tavik::cli
