// Satellite tracking: GSV group sequencing, placement in the 12 slots, GSA used flags and DOPs,
// mean SNR.
#include <gtest/gtest.h>

#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

using test::NmeaText;

double Rad(double degrees) { return degrees * std::numbers::pi / 180.0; }

class SatellitesTest : public ::testing::Test {
protected:
    // The receiver's constructor restarts the GSV sequence; the table lives in the shared epoch,
    // so start that afresh too (tests may share one process when run by hand).
    void SetUp() override { CGPSReceiver::m_GPSData = CGPSData(); }

    bool Gsv(const std::string& body) {
        CString s = NmeaText(body);
        return rx.ProcessGSV(s);
    }
    bool Gsa(const std::string& body) {
        CString s = NmeaText(body);
        return rx.ProcessGSA(s);
    }
    static CGPSSatelliteData& Slot(int i) { return CGPSReceiver::m_GPSData.m_Satellites[i]; }
    static std::vector<int> Prns() {
        std::vector<int> prns;
        for (int i = 0; i < CGPSData::kMaxSatellites; ++i) prns.push_back(Slot(i).m_nPRN);
        return prns;
    }
    // {slot, PRN} of every slot flagged used.
    static std::vector<std::pair<int, int>> Used() {
        std::vector<std::pair<int, int>> used;
        for (int i = 0; i < CGPSData::kMaxSatellites; ++i) {
            if (Slot(i).m_bUsed) used.emplace_back(i, Slot(i).m_nPRN);
        }
        return used;
    }
    // Twelve satellites, PRN 1 to 12 in slots 0 to 11, SNR 30 + PRN.
    void TwelveInView() {
        ASSERT_FALSE(Gsv("GPGSV,3,1,12,01,10,100,31,02,10,100,32,03,10,100,33,04,10,100,34"));
        ASSERT_FALSE(Gsv("GPGSV,3,2,12,05,10,100,35,06,10,100,36,07,10,100,37,08,10,100,38"));
        ASSERT_TRUE(Gsv("GPGSV,3,3,12,09,10,100,39,10,10,100,40,11,10,100,41,12,10,100,42"));
    }

    test::TestReceiver rx;
};

const std::string kS1 = "GPGSV,3,1,11,01,10,100,40,02,20,110,41,03,30,120,42,04,40,130,43";
const std::string kS2 = "GPGSV,3,2,11,05,10,100,40,06,20,110,41,07,30,120,42,08,40,130,43";
const std::string kS3 = "GPGSV,3,3,11,09,10,100,40,10,20,110,41,11,30,120,42";

TEST_F(SatellitesTest, GsvSentencesFollowTheGroupSequence) {
    struct Step {
        std::string body;
        bool complete;  // return value, and m_bSVInfoValid afterwards
        int next;       // m_nNextGSV afterwards
    };
    struct Case {
        const char* legend;
        std::vector<Step> steps;
    };
    const std::string oneOfOne = "GPGSV,1,1,02,01,10,100,40,02,20,110,41";
    const std::vector<Case> cases = {
        {"three sentences in order", {{kS1, false, 2}, {kS2, false, 3}, {kS3, true, 1}}},
        {"sentence 2 missing abandons the group",
         {{kS1, false, 2}, {kS3, false, 1}, {kS2, false, 1}}},
        {"a group of one completes at once", {{oneOfOne, true, 1}, {oneOfOne, true, 1}}},
        {"sentence 1 restarts the group",
         {{kS1, false, 2}, {kS2, false, 3}, {kS1, false, 2}, {kS2, false, 3}, {kS3, true, 1}}},
        {"a group cannot start with sentence 2", {{kS2, false, 1}, {kS3, false, 1}}},
        {"dropped sentence, then a new group", {{kS3, false, 1}, {kS1, false, 2}}},
        {"unreadable total", {{"GPGSV,,1,02,01,10,100,40", false, 1}}},
        {"unreadable sentence number", {{"GPGSV,1,x,02,01,10,100,40", false, 1}}},
        {"unreadable satellites in view", {{"GPGSV,1,1,,01,10,100,40", false, 1}}},
        {"truncated after the header", {{"GPGSV", false, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        test::TestReceiver fresh;  // restarts the sequence
        CGPSReceiver::m_GPSData = CGPSData();
        for (size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i + 1));
            CGPSReceiver::m_GPSData.m_bSVInfoValid = true;  // every sentence clears it first
            CString s = NmeaText(c.steps[i].body);
            EXPECT_EQ(fresh.ProcessGSV(s), c.steps[i].complete);
            EXPECT_EQ(CGPSReceiver::m_nNextGSV, c.steps[i].next);
            EXPECT_EQ(CGPSReceiver::m_GPSData.m_bSVInfoValid, c.steps[i].complete);
        }
    }
}

TEST_F(SatellitesTest, DroppedOrUnreadableSentencesStoreNoSatellite) {
    EXPECT_FALSE(Gsv(kS2));
    EXPECT_FALSE(Gsv("GPGSV,1,1,,01,10,100,40"));
    EXPECT_EQ(Prns(), std::vector<int>(12, 0));
    EXPECT_FALSE(CGPSReceiver::m_GPSData.m_bSatellitesChanged);
}

TEST_F(SatellitesTest, GsvGroupFillsTheTable) {
    // From a real recording: empty SNR fields for satellites that are not tracked.
    EXPECT_FALSE(Gsv("GPGSV,3,1,12,28,14,150,41,09,15,254,41,10,43,192,47,13,06,081,36"));
    EXPECT_FALSE(Gsv("GPGSV,3,2,12,02,56,323,,04,41,024,,12,31,317,,17,31,085,"));
    EXPECT_TRUE(Gsv("GPGSV,3,3,12,05,15,318,,24,02,246,,33,08,096,39,35,45,118,"));

    const CGPSData& d = CGPSReceiver::m_GPSData;
    EXPECT_EQ(Prns(), (std::vector<int>{28, 9, 10, 13, 2, 4, 12, 17, 5, 24, 33, 35}));
    EXPECT_EQ(d.m_nSatellitesInView, 12);
    EXPECT_TRUE(d.m_bSatellitesChanged);
    EXPECT_DOUBLE_EQ(Slot(0).m_dElevation, Rad(14));
    EXPECT_DOUBLE_EQ(Slot(0).m_dAzimuth, Rad(150));
    EXPECT_EQ(Slot(0).m_nSNR, 41);
    EXPECT_DOUBLE_EQ(Slot(4).m_dElevation, Rad(56));
    EXPECT_DOUBLE_EQ(Slot(4).m_dAzimuth, Rad(323));
    EXPECT_EQ(Slot(10).m_nSNR, 39);
    EXPECT_EQ(Slot(11).m_nSNR, 0) << "an empty SNR must not inherit the block before it";
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(Slot(i).m_bInView) << i;
        EXPECT_FALSE(Slot(i).m_bUsed) << i;
    }

    // The next group lists 28 again and a newcomer: nothing is used, so the newcomer takes the
    // first unused slot, the one 28 was just written to. The others stay, out of view.
    EXPECT_TRUE(Gsv("GPGSV,1,1,02,28,15,151,42,99,50,200,30"));
    EXPECT_EQ(Prns(), (std::vector<int>{99, 9, 10, 13, 2, 4, 12, 17, 5, 24, 33, 35}));
    EXPECT_TRUE(Slot(0).m_bInView);
    EXPECT_DOUBLE_EQ(Slot(0).m_dElevation, Rad(50));
    for (int i = 1; i < 12; ++i) EXPECT_FALSE(Slot(i).m_bInView) << i;
    EXPECT_EQ(d.m_nSatellitesInView, 2);
}

TEST_F(SatellitesTest, ABrokenBlockEndsTheSentence) {
    struct Case {
        const char* legend;
        std::string body;
        std::vector<int> stored;
    };
    const std::vector<Case> cases = {
        {"empty elevation and azimuth",
         "GPGSV,1,1,04,01,10,100,40,02,,,35,03,30,120,42,04,40,130,43", {1}},
        {"empty azimuth", "GPGSV,1,1,04,01,10,100,40,02,20,,35,03,30,120,42,04,40,130,43", {1}},
        {"empty PRN", "GPGSV,1,1,04,01,10,100,40,,20,110,35,03,30,120,42,04,40,130,43", {1}},
        {"elevation not a number",
         "GPGSV,1,1,04,01,10,100,40,02,2x,110,35,03,30,120,42,04,40,130,43", {1}},
        {"first block broken", "GPGSV,1,1,04,,,,,02,20,110,41", {}},
        {"empty SNR does not stop", "GPGSV,1,1,03,01,10,100,,02,20,110,41,03,30,120,", {1, 2, 3}},
        {"two blocks: the checksum is no satellite", "GPGSV,1,1,02,01,10,100,40,02,20,110,41",
         {1, 2}},
        {"no blocks", "GPGSV,1,1,00", {}},
        {"fifth block ignored",
         "GPGSV,1,1,05,01,10,100,40,02,20,110,41,03,30,120,42,04,40,130,43,05,50,140,44",
         {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        EXPECT_TRUE(Gsv(c.body)) << "the sentence still completes its group";
        std::vector<int> expected = c.stored;
        expected.resize(12, 0);
        EXPECT_EQ(Prns(), expected);
    }
}

TEST_F(SatellitesTest, ThirteenthSatelliteTakesTheFirstUnusedSlot) {
    struct Case {
        const char* legend;
        std::string gsa;
        int slot;  // where PRN 13 goes; -1: nowhere
    };
    const std::vector<Case> cases = {
        {"none used: slot 0", "GPGSA,A,3,,,,,,,,,,,,,,,", 0},
        {"1 and 2 used: slot 2", "GPGSA,A,3,01,02,,,,,,,,,,,2.0,1.0,1.7", 2},
        {"all used: not stored", "GPGSA,A,3,01,02,03,04,05,06,07,08,09,10,11,12,2.0,1.0,1.7", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        EXPECT_TRUE(Gsa(c.gsa));
        EXPECT_FALSE(Gsv("GPGSV,4,1,13,01,10,100,31,02,10,100,32,03,10,100,33,04,10,100,34"));
        EXPECT_FALSE(Gsv("GPGSV,4,2,13,05,10,100,35,06,10,100,36,07,10,100,37,08,10,100,38"));
        EXPECT_FALSE(Gsv("GPGSV,4,3,13,09,10,100,39,10,10,100,40,11,10,100,41,12,10,100,42"));
        EXPECT_TRUE(Gsv("GPGSV,4,4,13,13,80,300,50"));
        std::vector<int> expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        if (c.slot >= 0) expected[static_cast<size_t>(c.slot)] = 13;
        EXPECT_EQ(Prns(), expected);
        if (c.slot >= 0) {
            EXPECT_EQ(Slot(c.slot).m_nSNR, 50);
            EXPECT_DOUBLE_EQ(Slot(c.slot).m_dElevation, Rad(80));
            EXPECT_FALSE(Slot(c.slot).m_bUsed);
        }
    }
}

TEST_F(SatellitesTest, WithNoSlotLeftTheRestOfTheSentenceIsDropped) {
    TwelveInView();
    ASSERT_TRUE(Gsa("GPGSA,A,3,01,02,03,04,05,06,07,08,09,10,11,12,2.0,1.0,1.7"));
    // 13 finds no slot; the known satellite 5 after it is not updated either.
    EXPECT_TRUE(Gsv("GPGSV,1,1,13,13,80,300,50,05,77,200,44"));
    EXPECT_EQ(Prns(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_DOUBLE_EQ(Slot(4).m_dElevation, Rad(10));
    EXPECT_EQ(Slot(4).m_nSNR, 35);
}

TEST_F(SatellitesTest, GsaMarksUsedSatellitesAndTakesTheDops) {
    struct Case {
        const char* legend;
        std::vector<std::string> gsas;
        std::vector<std::pair<int, int>> used;  // {slot, PRN}
        double pdop, hdop, vdop;
    };
    // In view before each case: 5, 9, 12, 17 in slots 0 to 3; DOPs 9.0 from an earlier epoch.
    const std::vector<Case> cases = {
        {"PRNs 5 and 9", {"GPGSA,A,3,05,09,,,,,,,,,,,1.8,1.0,1.5"}, {{0, 5}, {1, 9}},
         1.8, 1.0, 1.5},
        {"a later GSA replaces the used set",
         {"GPGSA,A,3,05,09,12,,,,,,,,,,1.8,1.0,1.5", "GPGSA,A,3,17,,,,,,,,,,,,2.8,2.0,2.5"},
         {{3, 17}}, 2.8, 2.0, 2.5},
        {"new PRN takes the first empty slot", {"GPGSA,A,3,22,09,,,,,,,,,,,1.8,1.0,1.5"},
         {{1, 9}, {4, 22}}, 1.8, 1.0, 1.5},
        {"PRN 0 marks the first empty slot", {"GPGSA,A,3,00,05,,,,,,,,,,,1.8,1.0,1.5"},
         {{0, 5}, {4, 0}}, 1.8, 1.0, 1.5},
        {"unreadable PRN is skipped", {"GPGSA,A,3,05,xx,09,,,,,,,,,,1.8,1.0,1.5"},
         {{0, 5}, {1, 9}}, 1.8, 1.0, 1.5},
        {"empty DOPs keep the previous values", {"GPGSA,A,1,,,,,,,,,,,,,,,"}, {}, 9.0, 9.0, 9.0},
        {"truncated sentence", {"GPGSA,A,3,05,09"}, {{0, 5}, {1, 9}}, 9.0, 9.0, 9.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        ASSERT_TRUE(Gsv("GPGSV,1,1,04,05,10,100,40,09,20,110,45,12,30,120,30,17,40,130,"));
        CGPSData& d = CGPSReceiver::m_GPSData;
        d.m_dPDOP = d.m_dHDOP = d.m_dVDOP = 9.0;
        d.m_bSatellitesChanged = false;
        for (const std::string& gsa : c.gsas) EXPECT_TRUE(Gsa(gsa));
        EXPECT_EQ(Used(), c.used);
        for (const auto& [slot, prn] : c.used) EXPECT_TRUE(Slot(slot).m_bInView) << prn;
        EXPECT_EQ(d.m_bSatellitesChanged, !c.used.empty());
        EXPECT_TRUE(d.m_bDOPValid);
        EXPECT_DOUBLE_EQ(d.m_dPDOP, c.pdop);
        EXPECT_DOUBLE_EQ(d.m_dHDOP, c.hdop);
        EXPECT_DOUBLE_EQ(d.m_dVDOP, c.vdop);
    }
    // A slot taken over by GSA keeps what GSV said about the satellite.
    EXPECT_DOUBLE_EQ(Slot(0).m_dElevation, Rad(10));
}

TEST_F(SatellitesTest, MeanSnrCoversTheUsedSatellites) {
    struct Case {
        const char* legend;
        std::string gsa;  // empty: none sent
        double mean;
    };
    const std::vector<Case> cases = {
        {"no GSA", "", 0.0},
        {"5 and 9", "GPGSA,A,3,05,09,,,,,,,,,,,1.8,1.0,1.5", 42.5},
        {"an untracked satellite counts as 0", "GPGSA,A,3,05,17,,,,,,,,,,,1.8,1.0,1.5", 20.0},
        {"used but not in view", "GPGSA,A,3,05,09,12,31,,,,,,,,,1.8,1.0,1.5", (40 + 45 + 30) / 4.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        test::TestReceiver fresh;
        CGPSReceiver::m_GPSData = CGPSData();
        if (!c.gsa.empty()) {
            ASSERT_TRUE(Gsa(c.gsa));
        }
        // The mean follows every sentence, not only the last of a group.
        EXPECT_FALSE(Gsv("GPGSV,2,1,04,05,10,100,40,09,20,110,45,12,30,120,30,17,40,130,"));
        EXPECT_DOUBLE_EQ(CGPSReceiver::m_GPSData.m_dMeanSNR, c.mean);
    }
}

TEST_F(SatellitesTest, FindersLeaveTheSlotAloneWhenTheyFail) {
    TwelveInView();
    ASSERT_TRUE(Gsa("GPGSA,A,3,01,02,03,04,05,06,07,08,09,10,11,12,2.0,1.0,1.7"));
    int slot = 77;
    EXPECT_FALSE(rx.GetSatellite(13, slot));
    EXPECT_FALSE(rx.GetEmptySatellite(slot));
    EXPECT_FALSE(rx.GetUnusedSatellite(slot));
    EXPECT_EQ(slot, 77);

    Slot(9).m_nPRN = 0;
    Slot(6).m_bUsed = false;
    EXPECT_TRUE(rx.GetSatellite(5, slot));
    EXPECT_EQ(slot, 4);
    EXPECT_TRUE(rx.GetEmptySatellite(slot));
    EXPECT_EQ(slot, 9);
    EXPECT_TRUE(rx.GetUnusedSatellite(slot));
    EXPECT_EQ(slot, 6);
}

}  // namespace
}  // namespace tolvik
