// Satellite tracking: GSV group sequencing, placement in the 12 slots, GSA flags, DOPs, mean SNR.
#include <gtest/gtest.h>

#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

using Prns = std::vector<int>;

// Every test and table row starts afresh, also when one process runs them all.
class SatellitesTest : public ::testing::Test {
protected:
    void SetUp() override { Fresh(); }
    static void Fresh() {
        Epoch() = CGPSData();
        CGPSReceiver::m_nNextGSV = 1;
    }
    static CGPSData& Epoch() { return CGPSReceiver::m_GPSData; }
    static CGPSSatelliteData& Slot(int i) { return Epoch().m_Satellites[i]; }
    static double Rad(double degrees) { return degrees * std::numbers::pi / 180.0; }
    // PRNs of the slots in order, without the empty slots at the end; or of those with the flag.
    static Prns PrnsOf(bool CGPSSatelliteData::*flag = nullptr) {
        Prns prns;
        for (const CGPSSatelliteData& sat : Epoch().m_Satellites) {
            if (!flag || sat.*flag) prns.push_back(sat.m_nPRN);
        }
        while (!flag && !prns.empty() && prns.back() == 0) prns.pop_back();
        return prns;
    }
    bool Gsv(const std::string& body) {
        CString s = test::NmeaText("GPGSV," + body);
        return rx.ProcessGSV(s);
    }
    bool Gsa(const std::string& body) {
        CString s = test::NmeaText("GPGSA,A,3," + body);
        return rx.ProcessGSA(s);
    }
    test::TestReceiver rx;
};

TEST_F(SatellitesTest, GsvSentencesFollowTheGroupSequence) {
    using Step = std::tuple<std::string, bool, int>;  // sentence, complete, next sentence
    const Step s1{"3,1,11,01,10,100,40,02,20,110,41,03,30,120,42,04,40,130,43", false, 2};
    const Step s2{"3,2,11,05,10,100,40,06,20,110,41,07,30,120,42,08,40,130,43", false, 3};
    const Step s3{"3,3,11,09,10,100,40,10,20,110,41,11,30,120,42", true, 1};
    const Step one{"1,1,02,01,10,100,40,02,20,110,41", true, 1};
    const std::vector<Step> cases[] = {{s1, s2, s3},
                                       {s1, {std::get<0>(s3), false, 1}, {std::get<0>(s2), false, 1}},  // 2 missing
                                       {one, one},
                                       {s1, s2, s1, s2, s3},  // sentence 1 restarts the group
                                       {{",1,02,01,10,100,40", false, 1}, {"1,x,02", false, 1}, {"", false, 1}}};
    for (const auto& steps : cases) {
        Fresh();
        for (const auto& [body, complete, next] : steps) {
            Epoch().m_bSVInfoValid = true;  // every sentence clears it; a complete group sets it
            EXPECT_EQ(Gsv(body), complete) << body;
            EXPECT_EQ(Epoch().m_bSVInfoValid, complete) << body;
            EXPECT_EQ(CGPSReceiver::m_nNextGSV, next) << body;
        }
    }
    Fresh();  // out of sequence or unreadable: nothing is stored
    EXPECT_FALSE(Gsv(std::get<0>(s2)) || Gsv("1,1,,01,10,100,40"));
    EXPECT_EQ(PrnsOf(), Prns());
    EXPECT_FALSE(Epoch().m_bSatellitesChanged);
}

TEST_F(SatellitesTest, ABrokenBlockEndsTheSentence) {
    const std::pair<const char*, Prns> cases[] = {
        {"1,1,04,01,10,100,40,02,,,35,03,30,120,42", {1}},
        {"1,1,04,01,10,100,40,,20,110,35,03,30,120,42", {1}},
        {"1,1,04,01,10,100,40,02,2x,110,35,03,30,120,42", {1}},
        {"1,1,03,01,10,100,,02,20,110,41,03,30,120,", {1, 2, 3}},  // empty SNRs do not
        {"1,1,05,01,10,100,40,02,20,110,41,03,30,120,42,04,40,130,43,05,50,140,44", {1, 2, 3, 4}}};
    for (const auto& [body, stored] : cases) {
        Fresh();
        EXPECT_TRUE(Gsv(body)) << "the sentence still completes its group";
        EXPECT_EQ(PrnsOf(), stored) << body;
    }
}

// With every slot holding a used satellite a thirteenth finds no place and the rest of its
// sentence is dropped. (Which slot a thirteenth takes otherwise, the recordings show.)
TEST_F(SatellitesTest, WithoutAFreeSlotTheRestOfTheSentenceIsDropped) {
    EXPECT_TRUE(Gsa("01,02,03,04,05,06,07,08,09,10,11,12,,,"));
    EXPECT_FALSE(Gsv("4,1,13,01,10,100,31,02,10,100,32,03,10,100,33,04,10,100,34"));
    EXPECT_FALSE(Gsv("4,2,13,05,10,100,35,06,10,100,36,07,10,100,37,08,10,100,38"));
    EXPECT_FALSE(Gsv("4,3,13,09,10,100,39,10,10,100,40,11,10,100,41,12,10,100,42"));
    EXPECT_TRUE(Gsv("4,4,13,13,80,300,50"));
    EXPECT_EQ(PrnsOf(), (Prns{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_TRUE(Slot(2).m_nSNR == 33 && Slot(2).m_bUsed);  // GSV keeps the used flag
    // 5 after 13 is not updated. A new group takes every satellite out of view first.
    EXPECT_TRUE(Gsv("1,1,13,13,80,300,50,05,77,200,44"));
    EXPECT_TRUE(Slot(4).m_dElevation == Rad(10) && Slot(4).m_nSNR == 35);
    EXPECT_TRUE(PrnsOf(&CGPSSatelliteData::m_bInView).empty());
}

TEST_F(SatellitesTest, GsaMarksUsedSatellitesTakesTheDopsAndGivesTheMeanSnr) {
    // In view before each case: 5, 9, 12, 17 in slots 0 to 3 with SNR 40, 45, 30 and none;
    // 12 and 17 used; DOPs 9. The mean SNR of the used ones follows the next GSV sentence. The
    // recordings show the ordinary sentences; these are the odd fields.
    const struct {
        const char* gsa;
        Prns used;
        double pdop, vdop, mean;
    } cases[] = {{"05,09,,,,,,,,,,,1.8,1.0,1.5", {5, 9}, 1.8, 1.5, 42.5},
                 {"00,17,,,,,,,,,,,1.8,1.0,1.5", {17, 0}, 1.8, 1.5, 0.0},  // 0 goes to slot 4
                 {"05,xx,09,,,,,,,,,,1.8,1.0,1.5", {5, 9}, 1.8, 1.5, 42.5},
                 {",,,,,,,,,,,,,,", {}, 9.0, 9.0, 0.0},  // empty DOPs keep the values
                 {"05,09", {5, 9}, 9.0, 9.0, 42.5}};
    const std::string gsv = "04,05,10,100,40,09,20,110,45,12,30,120,30,17,40,130,";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gsa);
        Fresh();
        ASSERT_TRUE(Gsv("1,1," + gsv));
        ASSERT_TRUE(Gsa("12,17,,,,,,,,,,,9,9,9"));
        Epoch().m_bDOPValid = false;
        EXPECT_TRUE(Gsa(c.gsa));
        EXPECT_EQ(PrnsOf(&CGPSSatelliteData::m_bUsed), c.used);
        EXPECT_TRUE(Epoch().m_bDOPValid && Epoch().m_dPDOP == c.pdop && Epoch().m_dVDOP == c.vdop);
        EXPECT_DOUBLE_EQ(Epoch().m_dHDOP, c.pdop == 9.0 ? 9.0 : 1.0);
        // GSA keeps what GSV said; an empty SNR does not inherit the one of the block before.
        EXPECT_TRUE(Slot(3).m_dElevation == Rad(40) && Slot(3).m_dAzimuth == Rad(130));
        EXPECT_TRUE(Slot(3).m_bInView && Slot(3).m_nSNR == 0 && Epoch().m_nSatellitesInView == 4);
        EXPECT_FALSE(Gsv("2,1," + gsv));  // not the last sentence of its group
        EXPECT_DOUBLE_EQ(Epoch().m_dMeanSNR, c.mean);
    }
}

}  // namespace
}  // namespace tolvik
