#include "device/report_descriptor.h"
#include "descriptors.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace zr417::hid {
namespace {

const ReportInfo* reportOf(const TopLevelCollection& c, int id)
{
    for (const auto& r : c.reports)
        if (r.id == id) return &r;
    return nullptr;
}

TEST(ReportDescriptor, KeyboardInterfaceSplitsIntoItsSevenCollections)
{
    auto parsed = ParseReportDescriptor(testdata::KeyboardInterface1Descriptor());
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(parsed.collections.size(), 7u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(parsed.collections[i].number, i + 1);

    const auto& consumer = parsed.collections[0];
    EXPECT_EQ(consumer.usagePage, 0x0C);
    EXPECT_EQ(reportOf(consumer, 1)->inputLength, 3);
    EXPECT_EQ(reportOf(parsed.collections[1], 2)->inputLength, 2);  // 3 bits + 5 padding

    struct Expect {
        int index, id, feature, input;
    };
    for (auto e : {Expect{2, 3, 8, 0}, Expect{3, 4, 513, 0}, Expect{5, 6, 513, 0}, Expect{6, 7, 0, 34}}) {
        const auto& c = parsed.collections[e.index];
        EXPECT_EQ(c.usagePage, 0xFF00) << e.index;
        ASSERT_EQ(c.reports.size(), 1u) << e.index;
        EXPECT_EQ(c.reports[0].id, e.id);
        EXPECT_EQ(c.reports[0].featureLength, e.feature) << e.index;
        EXPECT_EQ(c.reports[0].inputLength, e.input) << e.index;
    }
    // The nested collection belongs to top-level collection 5 and changes its page only inside.
    EXPECT_EQ(parsed.collections[4].usagePage, 0x01);
    EXPECT_EQ(parsed.collections[4].usage, 0x06);
    EXPECT_EQ(reportOf(parsed.collections[4], 5)->inputLength, 21);
}

TEST(ReportDescriptor, BootloaderHasCommandAndDataCollections)
{
    auto parsed = ParseReportDescriptor(testdata::BootloaderDescriptor());
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(parsed.collections.size(), 2u);
    EXPECT_EQ(parsed.collections[0].usagePage, 0xFF00);
    EXPECT_EQ(parsed.collections[0].reports[0].id, 5);
    EXPECT_EQ(parsed.collections[0].reports[0].featureLength, 6);
    EXPECT_EQ(parsed.collections[1].reports[0].id, 6);
    EXPECT_EQ(parsed.collections[1].reports[0].featureLength, 2050);
}

TEST(ReportDescriptor, UnnumberedReportsCountTheZeroIdByte)
{
    // A boot keyboard: 8 bytes input, 1 byte output, no report IDs.
    std::vector<std::uint8_t> d{0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x75, 0x08,
                                0x95, 0x08, 0x81, 0x02, 0x05, 0x08, 0x75, 0x01, 0x95, 0x05,
                                0x91, 0x02, 0x75, 0x03, 0x95, 0x01, 0x91, 0x01, 0xC0};
    auto parsed = ParseReportDescriptor(d);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(parsed.collections.size(), 1u);
    EXPECT_EQ(parsed.collections[0].reports[0].id, 0);
    EXPECT_EQ(parsed.collections[0].reports[0].inputLength, 9);
    EXPECT_EQ(parsed.collections[0].reports[0].outputLength, 2);
}

TEST(ReportDescriptor, ExtendedUsageCarriesItsOwnPage)
{
    std::vector<std::uint8_t> d{0x05, 0x01, 0x0B, 0x01, 0x00, 0x0C, 0x00, 0xA1, 0x01,
                                0x85, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0};
    auto parsed = ParseReportDescriptor(d);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.collections[0].usagePage, 0x0C);
    EXPECT_EQ(parsed.collections[0].usage, 0x01);
}

TEST(ReportDescriptor, PushAndPopRestoreTheReportState)
{
    std::vector<std::uint8_t> d{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x03, 0x75, 0x08, 0x95, 0x07,
                                0xA4,  // push
                                0x95, 0x40, 0x85, 0x09, 0x81, 0x02,
                                0xB4,  // pop: report 3, count 7 again
                                0xB1, 0x02, 0xC0};
    auto parsed = ParseReportDescriptor(d);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const auto& c = parsed.collections[0];
    EXPECT_EQ(reportOf(c, 9)->inputLength, 65);
    EXPECT_EQ(reportOf(c, 3)->featureLength, 8);
}

TEST(ReportDescriptor, CompleteLongItemIsSkipped)
{
    auto d = testdata::BootloaderDescriptor();
    std::vector<std::uint8_t> longItem{0xFE, 0x03, 0x10, 0xAA, 0xBB, 0xCC};
    d.insert(d.begin(), longItem.begin(), longItem.end());
    auto parsed = ParseReportDescriptor(d);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.collections.size(), 2u);
}

TEST(ReportDescriptor, MalformedDescriptorsYieldNoCollection)
{
    auto good = testdata::BootloaderDescriptor();
    std::vector<std::vector<std::uint8_t>> bad{
        {0x06, 0x00},                                                        // truncated item
        {0xA1, 0x01, 0xFE, 0x10, 0x00, 0x01, 0x02, 0xC0},                    // long item running past the end
        {0xA1, 0x01, 0xFE},                                                  // long item header cut
        {0xA1, 0x01, 0xC0, 0xC0},                                            // end without a collection
        {0xA1, 0x01, 0xA1, 0x02, 0xC0},                                      // collection left open
        {0xA1, 0x01, 0x85, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0},  // report ID 0
        {0xA1, 0x01, 0x85, 0x01, 0x75, 0x20, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02, 0xC0},  // huge count
        {0xA1, 0x01, 0x85, 0x01, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0xB1, 0x02, 0xC0},
        {0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x85, 0x02, 0x81, 0x02, 0xC0},  // IDs mixed
        {0xB4},                                                                          // pop of nothing
        {0xA1, 0x01, 0x0C, 0xC0},                                                        // reserved item type
    };
    // Many small reports of one ID adding up past 65535 bytes.
    std::vector<std::uint8_t> adding{0xA1, 0x01, 0x85, 0x01, 0x75, 0x08, 0x96, 0xFF, 0x7F};
    for (int i = 0; i < 3; ++i) adding.insert(adding.end(), {0xB1, 0x02});
    adding.push_back(0xC0);
    bad.push_back(adding);
    std::vector<std::uint8_t> deep;
    for (int i = 0; i < 100; ++i) deep.insert(deep.end(), {0xA1, 0x00});
    for (int i = 0; i < 100; ++i) deep.push_back(0xC0);
    bad.push_back(deep);
    std::vector<std::uint8_t> pushes(40, 0xA4);
    bad.push_back(pushes);

    for (std::size_t i = 0; i < bad.size(); ++i) {
        auto parsed = ParseReportDescriptor(bad[i]);
        EXPECT_FALSE(parsed.ok) << "case " << i;
        EXPECT_FALSE(parsed.error.empty()) << "case " << i;
        EXPECT_TRUE(parsed.collections.empty()) << "case " << i;
    }
}

TEST(ReportDescriptor, EveryCutOfARealDescriptorIsRefusedOrComplete)
{
    auto d = testdata::KeyboardInterface1Descriptor();
    auto full = ParseReportDescriptor(d);
    std::set<std::size_t> counts;
    for (std::size_t n = 0; n < d.size(); ++n) {
        auto parsed = ParseReportDescriptor(std::span(d.data(), n));
        if (!parsed.ok) {
            EXPECT_TRUE(parsed.collections.empty());
            continue;
        }
        // A cut between collections gives the complete ones before it, unchanged.
        counts.insert(parsed.collections.size());
        for (std::size_t i = 0; i < parsed.collections.size(); ++i) {
            EXPECT_EQ(parsed.collections[i].usagePage, full.collections[i].usagePage);
            ASSERT_EQ(parsed.collections[i].reports.size(), full.collections[i].reports.size());
            EXPECT_EQ(parsed.collections[i].reports[0].featureLength, full.collections[i].reports[0].featureLength);
        }
    }
    EXPECT_EQ(counts, (std::set<std::size_t>{0, 1, 2, 3, 4, 5, 6}));
}

TEST(ReportDescriptor, RandomBytesNeverCrash)
{
    std::mt19937 rng(417);
    for (int i = 0; i < 5000; ++i) {
        std::vector<std::uint8_t> d(rng() % 64);
        for (auto& b : d) b = static_cast<std::uint8_t>(rng());
        auto parsed = ParseReportDescriptor(d);
        if (!parsed.ok) {
            EXPECT_TRUE(parsed.collections.empty());
        }
        for (const auto& c : parsed.collections)
            for (const auto& r : c.reports) EXPECT_GE(std::max({r.featureLength, r.inputLength, r.outputLength}), 2);
    }
}

}  // namespace
}  // namespace zr417::hid
