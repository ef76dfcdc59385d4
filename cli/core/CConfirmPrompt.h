// What to do with a transfer's destination that already exists: the answer the library's
// per-file confirmation expects (1 transfer anew, 2 resume, anything else skip).
//
// --overwrite answers anew, --resume answers resume and --skip-existing skips, for every file.
// Without any of them a user at a terminal is asked (with answers for this file or for all the
// rest); without a terminal the answer is kRefuse: the file is a failure, so that a script neither
// overwrites anything by accident nor reports success over a file it did not transfer.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

namespace tavik::cli {

enum class ExistingPolicy { Ask, Overwrite, Resume, SkipExisting };

class CConfirmPrompt {
public:
    static constexpr int kAnew = 1;
    static constexpr int kResume = 2;
    static constexpr int kSkip = 0;
    static constexpr int kRefuse = -1;
    // The destination size that means "does not exist" (no file can be that large).
    static constexpr uint64_t kMissing = UINT64_MAX;

    // in/out are used only when interactive; notes (forced restarts) go to out too.
    CConfirmPrompt(ExistingPolicy policy, bool interactive, std::istream& in, std::ostream& out);

    // Paths are UTF-8 and only shown.
    int answer(const std::string& source, uint64_t sourceSize, const std::string& destination,
               uint64_t destinationSize);

private:
    int ask(const std::string& destination, uint64_t sourceSize, uint64_t destinationSize);
    // A destination larger than its source is no partial copy of it: resuming would start past
    // the source's end, so such a file is transferred anew instead.
    int resumeOrRestart(const std::string& destination, uint64_t sourceSize,
                        uint64_t destinationSize);

    ExistingPolicy m_policy;
    bool m_interactive;
    std::istream& m_in;
    std::ostream& m_out;
    std::optional<int> m_forAll; // set by an "all" answer
};

} // namespace tavik::cli
