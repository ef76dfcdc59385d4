// What a batch does with a destination that already exists: the user's answer to the question
// (replace, skip, resume, or cancel the batch), and "모두 적용", which gives the same answer to
// every later conflict of the batch without asking.
//
// Resume is offered only when the destination is shorter than the source and its last bytes
// match the source's at the same place; that check (one read on each side) is made only when
// the answer may need it. A "resume" kept for all is applied to later conflicts that can be
// resumed; one that cannot is asked about. A cancel is never kept: it ends the batch.
// Threads: the caller's.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace tavik::app {

enum class ConflictAnswer { Replace, Skip, Resume, Cancel };

struct ConflictQuestion {
    QString name; // as the batch shows it
    uint64_t sourceSize = 0;
    uint64_t destinationSize = 0;
    bool resumable = false; // filled by the policy before asking
};

struct ConflictReply {
    ConflictAnswer answer = ConflictAnswer::Cancel;
    bool applyToAll = false;
};

class CConflictPolicy {
public:
    using Asker = std::function<ConflictReply(const ConflictQuestion&)>;
    // Whether the destination's bytes match the source's before the destination's end.
    using TailCheck = std::function<bool()>;

    explicit CConflictPolicy(Asker asker);

    ConflictAnswer Decide(ConflictQuestion question, const TailCheck& tailsMatch);
    // The answer kept by "모두 적용", if any.
    std::optional<ConflictAnswer> KeptAnswer() const { return kept_; }

private:
    Asker asker_;
    std::optional<ConflictAnswer> kept_;
};

} // namespace tavik::app
