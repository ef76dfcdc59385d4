#include "cli/core/CConfirmPrompt.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tavik::cli {
namespace {

constexpr uint64_t kMissing = CConfirmPrompt::kMissing;

TEST(ConfirmPromptTest, MissingDestinationIsAlwaysTransferredAnew) {
    std::istringstream in;
    std::ostringstream out;
    for (auto policy : {ExistingPolicy::Ask, ExistingPolicy::Overwrite, ExistingPolicy::Resume}) {
        CConfirmPrompt prompt(policy, false, in, out);
        EXPECT_EQ(prompt.answer("s", 10, "d", kMissing), CConfirmPrompt::kAnew);
    }
    EXPECT_TRUE(out.str().empty());
}

TEST(ConfirmPromptTest, FlagsAnswerWithoutAsking) {
    std::istringstream in("s\n"); // must not be read
    std::ostringstream out;
    CConfirmPrompt overwrite(ExistingPolicy::Overwrite, true, in, out);
    EXPECT_EQ(overwrite.answer("s", 10, "d", 4), CConfirmPrompt::kAnew);
    CConfirmPrompt resume(ExistingPolicy::Resume, true, in, out);
    EXPECT_EQ(resume.answer("s", 10, "d", 4), CConfirmPrompt::kResume);
    EXPECT_EQ(resume.answer("s", 10, "d", 10), CConfirmPrompt::kResume); // nothing left to move
    EXPECT_EQ(in.tellg(), 0);
}

TEST(ConfirmPromptTest, ResumeNeverStartsPastTheSourceEnd) {
    std::istringstream in;
    std::ostringstream out;
    CConfirmPrompt resume(ExistingPolicy::Resume, false, in, out);
    EXPECT_EQ(resume.answer("s", 10, "big", 11), CConfirmPrompt::kAnew);
    EXPECT_NE(out.str().find("big"), std::string::npos);
}

// Sizes past 32 bits are compared and shown in full: a 3 GiB part of a 4 GiB + 1 file resumes,
// a 4 GiB + 2 file is no part of it, and the question names both sizes.
TEST(ConfirmPromptTest, SizesPastThirtyTwoBitsAreComparedAndShownInFull) {
    constexpr uint64_t kGiB = 1ull << 30;
    std::istringstream in("r\n");
    std::ostringstream out;
    CConfirmPrompt resume(ExistingPolicy::Resume, false, in, out);
    EXPECT_EQ(resume.answer("s", 4 * kGiB + 1, "d", 3 * kGiB), CConfirmPrompt::kResume);
    EXPECT_EQ(resume.answer("s", 4 * kGiB + 1, "d", 4 * kGiB + 2), CConfirmPrompt::kAnew);
    // A file of exactly 4 GiB - 1 bytes exists: it is no "missing" marker.
    EXPECT_EQ(resume.answer("s", 4 * kGiB, "d", 0xFFFFFFFFull), CConfirmPrompt::kResume);
    CConfirmPrompt ask(ExistingPolicy::Ask, true, in, out);
    EXPECT_EQ(ask.answer("s", 6 * kGiB, "d", 5 * kGiB), CConfirmPrompt::kResume);
    EXPECT_NE(out.str().find("5368709120 of 6442450944"), std::string::npos) << out.str();
}

TEST(ConfirmPromptTest, WithoutATerminalAnExistingFileIsRefusedUnlessSkippingWasAskedFor) {
    std::istringstream in("o\n"); // must not be read
    std::ostringstream out;
    CConfirmPrompt prompt(ExistingPolicy::Ask, false, in, out);
    EXPECT_EQ(prompt.answer("s", 10, "/tmp/x", 3), CConfirmPrompt::kRefuse);
    CConfirmPrompt skip(ExistingPolicy::SkipExisting, false, in, out);
    EXPECT_EQ(skip.answer("s", 10, "/tmp/x", 3), CConfirmPrompt::kSkip);
    EXPECT_EQ(skip.answer("s", 10, "/tmp/y", kMissing), CConfirmPrompt::kAnew);
    EXPECT_EQ(in.tellg(), 0);
}

TEST(ConfirmPromptTest, TerminalAnswers) {
    std::istringstream in("what\n  r\no\ns\n");
    std::ostringstream out;
    CConfirmPrompt prompt(ExistingPolicy::Ask, true, in, out);
    EXPECT_EQ(prompt.answer("s", 10, "d", 3), CConfirmPrompt::kResume); // asks twice
    EXPECT_EQ(prompt.answer("s", 10, "d", 3), CConfirmPrompt::kAnew);
    EXPECT_EQ(prompt.answer("s", 10, "d", 3), CConfirmPrompt::kSkip);
    EXPECT_EQ(prompt.answer("s", 10, "d", 3), CConfirmPrompt::kSkip); // end of input
    const std::string text = out.str();
    size_t questions = 0;
    for (size_t at = text.find("[o]verwrite"); at != std::string::npos;
         at = text.find("[o]verwrite", at + 1)) {
        ++questions;
    }
    EXPECT_EQ(questions, 5u);
}

TEST(ConfirmPromptTest, AnswersForAllAreRemembered) {
    std::istringstream in("R\n");
    std::ostringstream out;
    CConfirmPrompt prompt(ExistingPolicy::Ask, true, in, out);
    EXPECT_EQ(prompt.answer("s", 10, "d", 3), CConfirmPrompt::kResume);
    EXPECT_EQ(prompt.answer("s", 10, "d", 5), CConfirmPrompt::kResume);
    EXPECT_EQ(prompt.answer("s", 10, "d", 50), CConfirmPrompt::kAnew); // larger than its source
    EXPECT_EQ(prompt.answer("s", 10, "d", kMissing), CConfirmPrompt::kAnew);

    std::istringstream skipIn("S\n");
    CConfirmPrompt skipAll(ExistingPolicy::Ask, true, skipIn, out);
    EXPECT_EQ(skipAll.answer("s", 10, "d", 3), CConfirmPrompt::kSkip);
    EXPECT_EQ(skipAll.answer("s", 10, "d", 3), CConfirmPrompt::kSkip);
    EXPECT_EQ(skipAll.answer("s", 10, "d", kMissing), CConfirmPrompt::kAnew);
}

} // namespace
} // namespace tavik::cli
