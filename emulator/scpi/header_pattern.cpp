#include "scpi/header_pattern.h"

#include <cctype>
#include <stdexcept>

namespace tevo::emulator::scpi {
namespace {

struct Resolved {
    size_t node;
    int suffix;
};

class Matcher {
  public:
    Matcher(const std::vector<PatternNode>& nodes, const std::vector<Keyword>& keywords)
        : nodes_(nodes), keywords_(keywords) {}

    HeaderPattern::Outcome Run(std::vector<Resolved>& resolved) {
        best_ = HeaderPattern::Outcome::kNoMatch;
        return Step(0, 0, resolved) ? HeaderPattern::Outcome::kMatched : best_;
    }

  private:
    bool NameMatches(const PatternNode& node, const Keyword& keyword) const {
        if (keyword.canonical)
            return keyword.name == node.long_name;
        return keyword.name == node.short_name || keyword.name == node.long_name;
    }

    bool Step(size_t n, size_t k, std::vector<Resolved>& resolved) {
        if (n == nodes_.size())
            return k == keywords_.size();
        const PatternNode& node = nodes_[n];
        if (k < keywords_.size() && NameMatches(node, keywords_[k])) {
            const Keyword& keyword = keywords_[k];
            int suffix = 1;
            bool suffix_ok = true;
            if (keyword.suffix.has_value()) {
                suffix = *keyword.suffix;
                suffix_ok = node.role != SuffixRole::kNone && suffix >= 1 &&
                            suffix <= SuffixMaximum(node.role);
            }
            if (suffix_ok) {
                resolved.push_back({n, suffix});
                if (Step(n + 1, k + 1, resolved))
                    return true;
                resolved.pop_back();
            } else if (RestCouldMatch(n + 1, k + 1)) {
                best_ = HeaderPattern::Outcome::kSuffixOutOfRange;
            }
        }
        if (node.optional) {
            resolved.push_back({n, 1});
            if (Step(n + 1, k, resolved))
                return true;
            resolved.pop_back();
        }
        return false;
    }

    // Whether the remaining keywords match the remaining nodes by name alone (used to tell
    // a bad suffix on a known header from an unknown header).
    bool RestCouldMatch(size_t n, size_t k) const {
        if (n == nodes_.size())
            return k == keywords_.size();
        if (k < keywords_.size() && NameMatches(nodes_[n], keywords_[k]) &&
            RestCouldMatch(n + 1, k + 1))
            return true;
        return nodes_[n].optional && RestCouldMatch(n + 1, k);
    }

    const std::vector<PatternNode>& nodes_;
    const std::vector<Keyword>& keywords_;
    HeaderPattern::Outcome best_ = HeaderPattern::Outcome::kNoMatch;
};

}  // namespace

int SuffixMaximum(SuffixRole role) {
    switch (role) {
        case SuffixRole::kWindow:
            return 2;
        case SuffixRole::kMarker:
            return 4;
        case SuffixRole::kTrace:
            return 6;
        case SuffixRole::kNone:
            break;
    }
    return 1;
}

HeaderPattern::HeaderPattern(std::string_view pattern) {
    const auto bad = [&]() {
        return std::invalid_argument("bad header pattern: " + std::string(pattern));
    };
    if (!pattern.empty() && pattern.front() == '*') {
        common_ = true;
        PatternNode node;
        for (const char c : pattern.substr(1)) {
            if (!std::isalpha(static_cast<unsigned char>(c)))
                throw bad();
            node.long_name.push_back(
                static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
        node.short_name = node.long_name;
        if (node.long_name.empty())
            throw bad();
        nodes_.push_back(node);
        return;
    }
    size_t i = 0;
    while (i < pattern.size()) {
        PatternNode node;
        if (pattern[i] == '[') {
            node.optional = true;
            ++i;
        }
        if (i < pattern.size() && pattern[i] == ':')
            ++i;
        while (i < pattern.size() && std::isalpha(static_cast<unsigned char>(pattern[i]))) {
            const char c = pattern[i];
            const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            node.long_name.push_back(upper);
            if (c == upper)
                node.short_name.push_back(upper);
            ++i;
        }
        if (node.long_name.empty() || node.short_name.empty())
            throw bad();
        if (i < pattern.size() && pattern[i] == '<') {
            if (i + 2 >= pattern.size() || pattern[i + 2] != '>')
                throw bad();
            switch (pattern[i + 1]) {
                case 'w':
                    node.role = SuffixRole::kWindow;
                    break;
                case 'm':
                    node.role = SuffixRole::kMarker;
                    break;
                case 't':
                    node.role = SuffixRole::kTrace;
                    break;
                default:
                    throw bad();
            }
            i += 3;
        }
        if (node.optional) {
            if (i >= pattern.size() || pattern[i] != ']')
                throw bad();
            ++i;
        }
        nodes_.push_back(node);
        if (i < pattern.size() && pattern[i] != ':' && pattern[i] != '[')
            throw bad();
    }
    if (nodes_.empty())
        throw bad();
}

HeaderPattern::Match HeaderPattern::MatchKeywords(const std::vector<Keyword>& keywords) const {
    Match match;
    if (common_) {
        if (keywords.size() == 1 && keywords[0].name == nodes_[0].long_name &&
            !keywords[0].suffix.has_value())
            match.outcome = Outcome::kMatched;
        return match;
    }
    std::vector<Resolved> resolved;
    Matcher matcher(nodes_, keywords);
    match.outcome = matcher.Run(resolved);
    if (match.outcome != Outcome::kMatched)
        return match;
    for (size_t i = 0; i < resolved.size(); ++i) {
        const PatternNode& node = nodes_[resolved[i].node];
        const int suffix = resolved[i].suffix;
        switch (node.role) {
            case SuffixRole::kWindow:
                match.suffixes.window = suffix;
                break;
            case SuffixRole::kMarker:
                match.suffixes.marker = suffix;
                break;
            case SuffixRole::kTrace:
                match.suffixes.trace = suffix;
                break;
            case SuffixRole::kNone:
                break;
        }
        if (i + 1 < resolved.size()) {
            Keyword keyword{node.long_name, std::nullopt, true};
            if (node.role != SuffixRole::kNone)
                keyword.suffix = suffix;
            match.path.push_back(std::move(keyword));
        }
    }
    return match;
}

}  // namespace tevo::emulator::scpi
