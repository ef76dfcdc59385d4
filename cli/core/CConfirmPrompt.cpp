#include "cli/core/CConfirmPrompt.h"

namespace tavik::cli {

CConfirmPrompt::CConfirmPrompt(ExistingPolicy policy, bool interactive, std::istream& in,
                               std::ostream& out)
    : m_policy(policy), m_interactive(interactive), m_in(in), m_out(out) {}

int CConfirmPrompt::answer(const std::string& /*source*/, uint64_t sourceSize,
                           const std::string& destination, uint64_t destinationSize) {
    if (destinationSize == kMissing) {
        return kAnew;
    }
    switch (m_policy) {
    case ExistingPolicy::Overwrite:
        return kAnew;
    case ExistingPolicy::Resume:
        return resumeOrRestart(destination, sourceSize, destinationSize);
    case ExistingPolicy::SkipExisting:
        return kSkip;
    case ExistingPolicy::Ask:
        break;
    }
    if (m_forAll) {
        return *m_forAll == kResume ? resumeOrRestart(destination, sourceSize, destinationSize)
                                    : *m_forAll;
    }
    if (!m_interactive) {
        return kRefuse;
    }
    return ask(destination, sourceSize, destinationSize);
}

int CConfirmPrompt::resumeOrRestart(const std::string& destination, uint64_t sourceSize,
                                    uint64_t destinationSize) {
    if (destinationSize > sourceSize) {
        m_out << "larger than its source, transferred anew: " << destination << '\n';
        return kAnew;
    }
    return kResume;
}

int CConfirmPrompt::ask(const std::string& destination, uint64_t sourceSize,
                        uint64_t destinationSize) {
    for (;;) {
        m_out << destination << " exists (" << destinationSize << " of " << sourceSize
              << " bytes).\n  [o]verwrite, [r]esume, [s]kip, [O]verwrite all, [R]esume all, "
                 "[S]kip all? "
              << std::flush;
        std::string reply;
        if (!std::getline(m_in, reply)) {
            m_out << '\n';
            return kSkip; // end of input: nobody is there to say yes
        }
        const size_t first = reply.find_first_not_of(" \t");
        const char c = first == std::string::npos ? '\0' : reply[first];
        switch (c) {
        case 'o':
        case 'y':
            return kAnew;
        case 'r':
            return resumeOrRestart(destination, sourceSize, destinationSize);
        case 's':
        case 'n':
            return kSkip;
        case 'O':
            m_forAll = kAnew;
            return kAnew;
        case 'R':
            m_forAll = kResume;
            return resumeOrRestart(destination, sourceSize, destinationSize);
        case 'S':
            m_forAll = kSkip;
            return kSkip;
        default:
            break; // ask again
        }
    }
}

} // namespace tavik::cli
