#include <gtest/gtest.h>

#include "catalogue/naming.h"
#include "catalogue/system.h"

namespace qm {
namespace {

// The proposal for a set of service names, as the refresh makes it.
std::string Propose(const std::vector<std::string>& names) {
    SuffixCounter counter;
    for (const std::string& n : names) counter.Count(n);
    return FormatSuffix(counter.Propose(names));
}

TEST(ParseLong32, FollowsAtolAndSaturates) {
    EXPECT_EQ(ParseLong32("  \t+42xyz"), 42);
    EXPECT_EQ(ParseLong32("7b"), 7);
    EXPECT_EQ(ParseLong32("-1"), -1);
    EXPECT_EQ(ParseLong32(""), 0);
    EXPECT_EQ(ParseLong32("- 5"), 0);
    EXPECT_EQ(ParseLong32("abc"), 0);
    EXPECT_EQ(ParseLong32("2147483647"), 2147483647);
    EXPECT_EQ(ParseLong32("2147483648"), INT32_MAX);
    EXPECT_EQ(ParseLong32("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseLong32("-2147483649"), INT32_MIN);
    // 27 digits, the longest suffix the field takes; msvcrt's atol would wrap.
    EXPECT_EQ(ParseLong32("999999999999999999999999999"), INT32_MAX);
    EXPECT_EQ(ParseLong32("-000000000000000000000000012"), -12);
}

TEST(ClassifyService, MarkerAndPrefixAreCaseSensitive) {
    EXPECT_FALSE(ClassifyService("korvane update service 05").family);
    EXPECT_FALSE(ClassifyService("Spooler").family);

    ServiceClass inner = ClassifyService("XKorvaneY");
    EXPECT_TRUE(inner.family);
    EXPECT_FALSE(inner.numbered);

    ServiceClass numbered = ClassifyService("Korvane Update Service 123");
    EXPECT_TRUE(numbered.numbered);
    EXPECT_EQ(numbered.number, 123u);

    // The number is read after the first occurrence of the prefix.
    EXPECT_EQ(ClassifyService("My Korvane Update Service 9 (Korvane Update Service 50)").number, 9u);
    EXPECT_EQ(ClassifyService("Korvane Update Service -1").number, 4294967295u);
}

TEST(SuffixProposal, RuleAsWritten) {
    EXPECT_EQ(Propose({}), "00");
    EXPECT_EQ(Propose({"Spooler", "korvane update service 05"}), "00");
    EXPECT_EQ(Propose({"Korvane Update Service 01", "Korvane Update Service 03"}), "04");
    EXPECT_EQ(Propose({"Korvane Main", "Korvane Update Service 01"}), "02");
    EXPECT_EQ(Propose({"Korvane Update Service 123"}), "124");
    EXPECT_EQ(Propose({"Korvane Update Service 7b"}), "08");
    EXPECT_EQ(Propose({"XKorvaneY", "Korvane Main"}), "02");
    // -1 is 4294967295; the proposal wraps to 0.
    EXPECT_EQ(Propose({"Korvane Update Service -1"}), "00");
}

TEST(SuffixProposal, NeverProposesAnInstalledName) {
    EXPECT_EQ(Propose({"Korvane Update Service 01"}), "02");
    EXPECT_EQ(Propose({"Korvane Update Service 01", "Korvane Update Service 02"}), "03");
    // The service manager compares names without regard to case, so a
    // non-family service can take the proposed name too.
    EXPECT_EQ(Propose({"Korvane Main", "KORVANE UPDATE SERVICE 01"}), "02");
    EXPECT_EQ(Propose({"Korvane Update Service 01", "korvane update service 02",
                       "Korvane Update Service 03x"}),
              "04");
    // Wrapped to 0, and 00 is taken.
    EXPECT_EQ(Propose({"Korvane Update Service -1", "Korvane Update Service 00"}), "01");
}

TEST(SuffixProposal, PrintsUnsignedPastTheSignedRange) {
    EXPECT_EQ(Propose({"Korvane Update Service 2147483647"}), "2147483648");
    EXPECT_EQ(Propose({"Korvane Update Service 99999999999999"}), "2147483648");
    EXPECT_EQ(Propose({"Korvane Update Service -99999999999999"}), "2147483649");
    EXPECT_EQ(FormatSuffix(4294967295u), "4294967295");
    EXPECT_EQ(FormatSuffix(5), "05");
}

TEST(InstanceName, KeepsTheSuffixAsTyped) {
    EXPECT_EQ(InstanceName("05"), "Korvane Update Service 05");
    EXPECT_EQ(InstanceName(""), "Korvane Update Service ");
    EXPECT_EQ(InstanceName(" a "), "Korvane Update Service  a ");
}

}  // namespace
}  // namespace qm
