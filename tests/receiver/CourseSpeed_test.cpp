// Course and speed from VTG: the course into [0, 2pi) counter-clockwise from east, km/h to m/s,
// the unit letters, and the switch away from our own estimator.
#include <gtest/gtest.h>

#include <numbers>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

using std::numbers::pi;
using test::NmeaText;

double Rad(double degrees) { return degrees * pi / 180.0; }

class CourseSpeedTest : public ::testing::Test {
protected:
    void SetUp() override {
        CGPSReceiver::m_GPSData = CGPSData();
        CGPSReceiver::m_GPSData.m_dCourse = kUntouched;
        CGPSReceiver::m_GPSData.m_dSpeed = kUntouched;
    }
    bool Vtg(const std::string& body) {
        CString s = NmeaText(body);
        return rx.ProcessVTG(s);
    }
    static constexpr double kUntouched = -1.0;
    test::TestReceiver rx;  // its constructor sets m_bComputeMotion
};

TEST_F(CourseSpeedTest, TrueCourseBecomesAnAngleFromEast) {
    struct Case {
        double degrees;   // true course, clockwise from north
        double expected;  // radians, counter-clockwise from east
    };
    const std::vector<Case> cases = {
        {0.0, pi / 2},        {90.0, 0.0},        {180.0, 3 * pi / 2}, {270.0, pi},
        {359.0, Rad(91)},     {360.0, pi / 2},    {45.0, pi / 4},      {90.5, Rad(359.5)},
        {450.0, 0.0},         {-90.0, pi},        {1000.0, Rad(170)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.degrees);
        SetUp();
        ASSERT_TRUE(Vtg("GPVTG," + std::to_string(c.degrees) + ",T,,M,0.0,N,0.0,K"));
        const double course = CGPSReceiver::m_GPSData.m_dCourse;
        EXPECT_NEAR(course, c.expected, 1e-12);
        EXPECT_GE(course, 0.0);
        EXPECT_LT(course, 2 * pi);
    }
}

TEST_F(CourseSpeedTest, SentenceAndUnitLetters) {
    struct Case {
        const char* legend;
        std::string body;
        bool ok;
        double course;  // radians, or kUntouched
        double speed;   // m/s, or kUntouched
    };
    const double untouched = kUntouched;
    const std::vector<Case> cases = {
        {"36 km/h", "GPVTG,054.7,T,034.4,M,019.4,N,036.0,K", true, Rad(35.3), 10.0},
        {"standing still", "GPVTG,054.7,T,034.4,M,0.0,N,0.0,K", true, Rad(35.3), 0.0},
        {"lower-case letters", "GPVTG,054.7,t,034.4,M,019.4,N,036.0,k", true, Rad(35.3), 10.0},
        {"mode indicator after K", "GPVTG,226,T,222,M,000.0,N,0007.2,K,D", true, Rad(224), 2.0},
        {"knots letter instead of K", "GPVTG,054.7,T,034.4,M,019.4,N,036.0,N", false, Rad(35.3),
         untouched},
        {"magnetic letter instead of T", "GPVTG,054.7,M,034.4,M,019.4,N,036.0,K", false, untouched,
         untouched},
        {"empty course (no fix)", "GPVTG,,T,,M,0.000000,N,0.000000,K", false, untouched, untouched},
        {"empty speed", "GPVTG,054.7,T,034.4,M,019.4,N,,K", false, Rad(35.3), untouched},
        {"truncated after the course", "GPVTG,054.7,T", false, Rad(35.3), untouched},
        {"course not a number", "GPVTG,5x,T,034.4,M,019.4,N,036.0,K", false, untouched, untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        test::TestReceiver fresh;
        SetUp();
        const CGPSData& d = CGPSReceiver::m_GPSData;
        EXPECT_EQ(Vtg(c.body), c.ok);
        EXPECT_NEAR(d.m_dCourse, c.course, 1e-12);
        EXPECT_NEAR(d.m_dSpeed, c.speed, 1e-12);
        EXPECT_EQ(d.m_bVelocityValid, c.ok);
        EXPECT_EQ(CGPSReceiver::m_bComputeMotion, !c.ok) << "only a good VTG stops the estimator";
    }
}

}  // namespace
}  // namespace tolvik
