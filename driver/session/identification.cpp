#include "session/identification.h"

#include <array>

namespace tevo::driver {

namespace {

bool IsFieldEnd(char c) {
    return c == ',' || c == '\'';
}

}  // namespace

int ParseIdentity(std::string_view answer, IdentityFields& fields) {
    std::array<std::string*, 4> slots = {&fields.manufacturer, &fields.model, &fields.serial_number,
                                         &fields.firmware_revision};
    std::array<std::string, 4> scanned;
    int count = 0;
    size_t pos = 0;
    for (size_t i = 0; i < scanned.size(); ++i) {
        if (i > 0) {
            if (pos >= answer.size() || answer[pos] != ',') {
                break;
            }
            ++pos;
        }
        const size_t start = pos;
        while (pos < answer.size() && !IsFieldEnd(answer[pos])) {
            ++pos;
        }
        if (pos == start) {
            break;
        }
        scanned[i] = std::string(answer.substr(start, pos - start));
        ++count;
    }
    if (count == 0) {
        return 0;
    }
    if (count < 4) {
        // Field i lies between comma i-1 and comma i (the last field runs to the end).
        std::array<size_t, 3> commas{};
        size_t found = 0;
        for (size_t at = 0; at < answer.size() && found < commas.size(); ++at) {
            if (answer[at] == ',') {
                commas[found++] = at;
            }
        }
        for (size_t i = 0; i < scanned.size(); ++i) {
            const bool has_start = i == 0 || found >= i;
            const bool has_end = i == 3 || found > i;
            if (has_start && has_end) {
                const size_t begin = i == 0 ? 0 : commas[i - 1] + 1;
                const size_t end = i == 3 ? answer.size() : commas[i];
                scanned[i] = std::string(answer.substr(begin, end - begin));
            }
        }
    }
    for (size_t i = 0; i < scanned.size(); ++i) {
        *slots[i] = scanned[i];
    }
    return count;
}

const char* IdentityMismatch(const IdentityFields& fields) {
    if (fields.manufacturer.compare(0, 8, "Valdacor") != 0) {
        return "Instrument manufacturer";
    }
    if (fields.model.compare(0, 2, "KL") != 0) {
        return "Instrument model";
    }
    return nullptr;
}

}  // namespace tevo::driver
