// Header patterns of the command table, written in the usual SCPI notation:
// "[SENSe<w>]:FREQuency:CENTer" or "*IDN". Upper-case letters are the short form, the
// whole word the long form; a node in brackets may be left out; "<w>", "<m>" and "<t>"
// mark a numeric suffix that selects the window (screen), marker or trace.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scpi/program_message.h"

namespace tevo::emulator::scpi {

enum class SuffixRole : unsigned char { kNone, kWindow, kMarker, kTrace };

// Largest suffix accepted for a role (the smallest is 1; a missing suffix means 1).
int SuffixMaximum(SuffixRole role);

struct SuffixValues {
    int window = 1;
    int marker = 1;
    int trace = 1;
};

struct PatternNode {
    std::string long_name;   // upper case
    std::string short_name;  // upper case
    bool optional = false;
    SuffixRole role = SuffixRole::kNone;
};

class HeaderPattern {
  public:
    // Throws std::invalid_argument for a malformed pattern (a mistake in the table).
    explicit HeaderPattern(std::string_view pattern);

    enum class Outcome {
        kNoMatch,
        kSuffixOutOfRange,  // the names match but a suffix is not allowed there or too big
        kMatched,
    };

    struct Match {
        Outcome outcome = Outcome::kNoMatch;
        SuffixValues suffixes;
        // The resolved nodes before the last one, as canonical keywords: the current path
        // that a following relative header in the same message starts from.
        std::vector<Keyword> path;
    };

    bool common() const { return common_; }
    const std::vector<PatternNode>& nodes() const { return nodes_; }

    // Matches header keywords (canonical ones from the current path first) against the
    // pattern. Common command patterns match a common header with the same name.
    Match MatchKeywords(const std::vector<Keyword>& keywords) const;

  private:
    bool common_ = false;
    std::vector<PatternNode> nodes_;
};

}  // namespace tevo::emulator::scpi
