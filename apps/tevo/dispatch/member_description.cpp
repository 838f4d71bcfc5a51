#include "dispatch/member_description.h"

#include "tevo/com/holders.h"

namespace tevo::cli {

namespace {

std::string Lowered(const std::string& text) {
    std::string lowered = text;
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lowered;
}

}  // namespace

std::optional<MemberDescription> DescribeMember(ITypeInfo* type, DISPID id, INVOKEKIND kind) {
    if (type == nullptr) {
        return std::nullopt;
    }
    const std::shared_ptr<const tevo::com::InterfaceDescription> description =
        tevo::com::DescribeInterface(type);
    if (const MemberDescription* member = tevo::com::FindMember(*description, id, kind)) {
        return *member;
    }
    return std::nullopt;
}

const std::vector<EnumMember>& EnumMembersOf(const ValueType& type) {
    static const std::vector<EnumMember> none;
    return type.enumeration ? type.enumeration->members : none;
}

std::optional<LONG> EnumValueOf(const ValueType& type, const std::string& text) {
    const std::vector<EnumMember>& members = EnumMembersOf(type);
    if (members.empty()) {
        return std::nullopt;
    }
    // The prefix all names share, cut back to where a word starts ("TevoDetectorType").
    const std::string& first = members.front().name;
    std::string prefix = first;
    for (const EnumMember& member : members) {
        size_t same = 0;
        while (same < prefix.size() && same < member.name.size() &&
               prefix[same] == member.name[same]) {
            ++same;
        }
        prefix.resize(same);
    }
    while (!prefix.empty() && !(first[prefix.size()] >= 'A' && first[prefix.size()] <= 'Z')) {
        prefix.pop_back();
    }
    const std::string wanted = Lowered(text);
    for (const EnumMember& member : members) {
        const std::string full = Lowered(member.name);
        if (wanted == full || (members.size() > 1 && wanted == full.substr(prefix.size()))) {
            return member.value;
        }
    }
    return std::nullopt;
}

std::string EnumNameOf(const ValueType& type, LONG value) {
    for (const EnumMember& member : EnumMembersOf(type)) {
        if (member.value == value) {
            return member.name;
        }
    }
    return {};
}

}  // namespace tevo::cli
