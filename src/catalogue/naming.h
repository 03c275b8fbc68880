// The naming scheme of the Korvane update service instances and the rule
// that proposes the suffix of the next one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qm {

// A service belongs to the family when its key name contains the marker;
// it is a numbered instance when it also contains the prefix.
inline constexpr char kFamilyMarker[] = "Korvane";
inline constexpr char kNumberedPrefix[] = "Korvane Update Service ";
inline constexpr std::size_t kMaxSuffixLength = 27;

struct ServiceClass {
    bool family = false;
    bool numbered = false;
    std::uint32_t number = 0;  // the number after the prefix, as unsigned
};

// atol() on a 32-bit long, except that out-of-range values saturate at
// the largest or smallest value instead of wrapping as MinGW's msvcrt does.
std::int32_t ParseLong32(const char* text);

// |s| with ASCII letters in lower case, as the service manager compares
// names without regard to case.
std::string FoldCase(const std::string& s);

ServiceClass ClassifyService(const std::string& serviceName);

bool IsFamilyService(const std::string& serviceName);

// "Korvane Update Service " followed by the suffix exactly as typed.
std::string InstanceName(const std::string& suffix);

// The proposal printed as an unsigned number of at least two digits.
std::string FormatSuffix(std::uint32_t proposal);

// Counts family services and remembers the highest number during one
// enumeration pass, then proposes the next suffix.
class SuffixCounter {
public:
    void Count(const std::string& serviceName);

    // Tells whether a service of that name is installed, beyond those the
    // enumeration listed (drivers, for instance).
    using NameInUse = std::function<bool(const std::string&)>;

    // The next number: highest + 1 when highest exceeds the count, else the
    // count; then moved on past every number that an installed instance
    // carries, with any zero padding, and every number whose instance name
    // is taken by one of |allServiceNames| (compared case-insensitively, as
    // the service manager compares names) or, when given, by |inUse|.
    std::uint32_t Propose(const std::vector<std::string>& allServiceNames, const NameInUse& inUse = {}) const;

private:
    std::uint32_t count_ = 0;
    std::uint32_t highest_ = 0;
};

}  // namespace qm
