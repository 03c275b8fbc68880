#include "catalogue/naming.h"

#include <cstring>
#include <limits>
#include <unordered_set>

namespace qm {

namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// How many proposals in a row the services outside the enumeration may take.
constexpr std::size_t kMaxUnlistedProbes = 64;

// The number of an instance whose suffix is decimal digits alone (any zero
// padding), with the prefix in any letter case.
bool InstanceNumber(const std::string& name, std::uint32_t& number) {
    const std::size_t prefix = std::strlen(kNumberedPrefix);
    if (name.size() <= prefix || FoldCase(name.substr(0, prefix)) != FoldCase(kNumberedPrefix)) return false;
    std::uint64_t value = 0;
    for (std::size_t i = prefix; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(name[i] - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return false;
    }
    number = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace

std::string FoldCase(const std::string& s) {
    std::string folded(s);
    for (char& c : folded) c = FoldAscii(c);
    return folded;
}

std::int32_t ParseLong32(const char* text) {
    const char* p = text;
    while (IsCSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');

    // Accumulate the magnitude in 64 bits and stop growing once it is past
    // any 32-bit value, so that arbitrarily long digit runs are safe.
    const std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude <= limit) magnitude = magnitude * 10 + (*p - '0');
    }
    if (negative) {
        return magnitude >= limit ? std::numeric_limits<std::int32_t>::min()
                                  : static_cast<std::int32_t>(-magnitude);
    }
    return magnitude >= limit ? std::numeric_limits<std::int32_t>::max()
                              : static_cast<std::int32_t>(magnitude);
}

bool IsFamilyService(const std::string& serviceName) {
    return serviceName.find(kFamilyMarker) != std::string::npos;
}

ServiceClass ClassifyService(const std::string& serviceName) {
    ServiceClass result;
    result.family = IsFamilyService(serviceName);
    if (!result.family) return result;
    const std::size_t at = serviceName.find(kNumberedPrefix);
    if (at == std::string::npos) return result;
    result.numbered = true;
    result.number = static_cast<std::uint32_t>(
        ParseLong32(serviceName.c_str() + at + std::strlen(kNumberedPrefix)));
    return result;
}

std::string InstanceName(const std::string& suffix) { return kNumberedPrefix + suffix; }

std::string FormatSuffix(std::uint32_t proposal) {
    std::string digits = std::to_string(proposal);
    if (digits.size() < 2) digits.insert(0, 2 - digits.size(), '0');
    return digits;
}

void SuffixCounter::Count(const std::string& serviceName) {
    const ServiceClass c = ClassifyService(serviceName);
    if (!c.family) return;
    ++count_;
    if (c.numbered && highest_ < c.number) highest_ = c.number;
}

std::uint32_t SuffixCounter::Propose(const std::vector<std::string>& allServiceNames, const NameInUse& inUse) const {
    std::uint32_t proposal = highest_ > count_ ? highest_ + 1 : count_;

    std::unordered_set<std::string> taken;
    std::unordered_set<std::uint32_t> numbers;
    for (const std::string& name : allServiceNames) {
        taken.insert(FoldCase(name));
        std::uint32_t number = 0;
        if (InstanceNumber(name, number)) numbers.insert(number);
    }
    auto isTaken = [&](std::uint32_t n) {
        const std::string name = InstanceName(FormatSuffix(n));
        return numbers.count(n) != 0 || taken.count(FoldCase(name)) != 0 || (inUse && inUse(name));
    };
    // Each step passes one enumerated name or number at most; beyond those,
    // only a few names can be taken by services the enumeration did not list.
    const std::size_t limit = taken.size() + numbers.size() + kMaxUnlistedProbes;
    for (std::size_t step = 0; step < limit && isTaken(proposal); ++step) ++proposal;
    return proposal;
}

}  // namespace qm
