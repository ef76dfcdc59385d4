#include "app/explorer/CConflictPolicy.h"

namespace tavik::app {

CConflictPolicy::CConflictPolicy(Asker asker) : asker_(std::move(asker)) {}

ConflictAnswer CConflictPolicy::Decide(ConflictQuestion question, const TailCheck& tailsMatch) {
    if (kept_ && *kept_ != ConflictAnswer::Resume) {
        return *kept_;
    }
    question.resumable = question.destinationSize > 0 &&
                         question.destinationSize < question.sourceSize && tailsMatch &&
                         tailsMatch();
    if (kept_ && question.resumable) {
        return *kept_;
    }
    const ConflictReply reply = asker_ ? asker_(question) : ConflictReply{};
    // Resume was not offered: a reply asking for it anyway changes nothing.
    if (reply.answer == ConflictAnswer::Resume && !question.resumable) {
        return ConflictAnswer::Skip;
    }
    if (reply.applyToAll && reply.answer != ConflictAnswer::Cancel) {
        kept_ = reply.answer;
    }
    return reply.answer;
}

} // namespace tavik::app
