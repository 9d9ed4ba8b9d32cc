// Course and speed: the receiver's own VTG (course into [0, 2pi) counter-clockwise from east,
// km/h to m/s, unit letters) and our estimator from successive positions.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tolvik/receiver/CSpeedEngine.h"

namespace tolvik {
namespace {

using std::numbers::pi;

constexpr double kUnset = -1.0;  // a course or speed nothing has written
constexpr double kDegree = pi / 180;

// Parses one VTG into a fresh epoch with a fresh receiver (which computes motion again).
bool Vtg(const std::string& body) {
    CGPSReceiver::m_GPSData = CGPSData();
    CGPSReceiver::m_GPSData.m_dCourse = CGPSReceiver::m_GPSData.m_dSpeed = kUnset;
    test::TestReceiver receiver;
    CString message = test::NmeaText(body);
    return receiver.ProcessVTG(message);
}

TEST(CourseSpeedTest, TrueCourseBecomesAnAngleFromEast) {
    const std::pair<double, double> cases[] = {{0, 90},   {90, 0},       {180, 270}, {270, 180}, {359, 91},
                                               {360, 90}, {90.5, 359.5}, {450, 0},   {-90, 180}, {1000, 170}};
    for (const auto& [course, angle] : cases) {
        ASSERT_TRUE(Vtg("GPVTG," + std::to_string(course) + ",T,,M,0.0,N,0.0,K"));
        EXPECT_NEAR(CGPSReceiver::m_GPSData.m_dCourse, angle * kDegree, 1e-12) << course;
        EXPECT_LT(CGPSReceiver::m_GPSData.m_dCourse, 2 * pi) << course;
    }
}

TEST(CourseSpeedTest, SentenceAndUnitLetters) {
    const struct {
        const char* body;
        bool ok;
        double course, speed;
    } cases[] = {{"GPVTG,054.7,T,034.4,M,019.4,N,036.0,K", true, 35.3 * kDegree, 10.0},
                 {"GPVTG,054.7,t,034.4,M,019.4,N,036.0,k", true, 35.3 * kDegree, 10.0},
                 {"GPVTG,226,T,222,M,000.0,N,0007.2,K,D", true, 224 * kDegree, 2.0},        // mode indicator
                 {"GPVTG,054.7,T,034.4,M,019.4,N,036.0,N", false, 35.3 * kDegree, kUnset},  // knots letter
                 {"GPVTG,054.7,M,034.4,M,019.4,N,036.0,K", false, kUnset, kUnset},
                 {"GPVTG,,T,,M,0.000000,N,0.000000,K", false, kUnset, kUnset},  // no fix
                 {"GPVTG,054.7,T", false, 35.3 * kDegree, kUnset}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const CGPSData& d = CGPSReceiver::m_GPSData;
        EXPECT_EQ(Vtg(c.body), c.ok);
        EXPECT_NEAR(d.m_dCourse, c.course, 1e-12);
        EXPECT_NEAR(d.m_dSpeed, c.speed, 1e-12);
        EXPECT_EQ(d.m_bVelocityValid, c.ok);
        EXPECT_EQ(CGPSReceiver::m_bComputeMotion, !c.ok) << "only a good VTG stops the estimator";
    }
}

// ---- The estimator: speed and course (counter-clockwise from east, in [-pi, pi)) between the
// means of its window of three epochs before and after the newest one. The recordings show its
// window, steps across midnight, fixless epochs, offsets and a course; these are the rest.

struct Step {
    double north, utc;            // metres north of a fixed point, seconds of the day
    std::optional<double> speed;  // none: no velocity
};

void Feed(CSpeedEngine& engine, const std::vector<Step>& steps) {
    for (const Step& s : steps) {
        CGPSData d;
        d.m_dLatitude = 0.9 + s.north / CSpeedEngine::kEarthRadius;  // about 51.6 degrees north
        d.m_dLongitude = 0.3;
        d.m_dUTCTime = s.utc;
        d.m_nFixStatus = UDF_SIGNAL_GPS;
        d.m_dSpeed = kUnset;
        EXPECT_EQ(engine.Update(d), s.speed.has_value()) << s.utc;
        EXPECT_NEAR(d.m_dSpeed, s.speed.value_or(kUnset), 1e-6) << s.utc;
    }
}

TEST(SpeedEngineTest, RepeatedTimesResetAndCourseQuadrants) {
    CSpeedEngine engine;
    // A repeated time gives no velocity but still enters the window: means (0+3)/2 and
    // (0+3+6)/3 over 1 s. A reset forgets the window: 30 m in a second, not a mean with 0 to 6.
    Feed(engine, {{0, 10.0, {}}, {3, 10.0, {}}, {6, 11.0, 1.5}});
    engine.Reset();
    Feed(engine, {{1000, 3, {}}, {1030, 4, 15.0}});
    // Angles off the axes and diagonals tell the quadrants of the arc tangent apart.
    const double r3 = std::sqrt(3.0);
    const double directions[][3] = {{0, 0, 0},   {1, 0, 0},     {0, 1, 90},      {0, -1, -90}, {-1, 0, -180},
                                    {r3, 1, 30}, {-r3, 1, 150}, {-r3, -1, -150}, {r3, -1, -30}};
    for (const auto& [east, north, degrees] : directions)
        EXPECT_NEAR(CSpeedEngine::Direction(north, east), degrees * kDegree, 1e-12) << degrees;
}

}  // namespace
}  // namespace tolvik
