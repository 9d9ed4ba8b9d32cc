// The speed estimator: warm-up and steady window, course quadrants, midnight, fixless and
// repeated epochs, reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "tolvik/receiver/CSpeedEngine.h"

namespace tolvik {
namespace {

using std::numbers::pi;

constexpr double kOriginLat = 0.9;  // radians, about 51.6 degrees north
constexpr double kOriginLon = 0.3;
constexpr double kR = CSpeedEngine::kEarthRadius;

// An epoch the given metres north and east of the origin.
CGPSData Epoch(double north, double east, double utc, int fix = UDF_SIGNAL_GPS) {
    CGPSData d;
    d.m_dLatitude = kOriginLat + north / kR;
    d.m_dLongitude = kOriginLon + east / (std::cos(kOriginLat) * kR);
    d.m_dUTCTime = utc;
    d.m_nFixStatus = fix;
    d.m_dSpeed = -1.0;  // to see whether the estimator wrote it
    d.m_dCourse = -9.0;
    return d;
}

TEST(SpeedEngineTest, WarmUpAndSteadyStateGoingNorth) {
    // 3 m north every second: the window's means trail the positions.
    const std::vector<std::optional<double>> speeds = {std::nullopt, 1.5, 1.5, 3.0, 3.0, 3.0};
    CSpeedEngine engine;
    for (size_t k = 0; k < speeds.size(); ++k) {
        SCOPED_TRACE(k + 1);
        CGPSData d = Epoch(3.0 * static_cast<double>(k), 0.0, 100.0 + static_cast<double>(k));
        EXPECT_EQ(engine.Update(d), speeds[k].has_value());
        EXPECT_NEAR(d.m_dNorthOffset, 3.0 * static_cast<double>(k), 1e-6);
        EXPECT_NEAR(d.m_dEastOffset, 0.0, 1e-6);
        EXPECT_EQ(d.m_bVelocityValid, speeds[k].has_value());
        if (!speeds[k]) {
            EXPECT_EQ(d.m_dSpeed, -1.0);
            continue;
        }
        EXPECT_NEAR(d.m_dSpeed, *speeds[k], 1e-6);
        EXPECT_DOUBLE_EQ(d.m_dCourse, pi / 2);
        EXPECT_LE(engine.GetCount(), CSpeedEngine::kWindow);
    }
}

TEST(SpeedEngineTest, CourseOfSteadyMotion) {
    struct Case {
        const char* legend;
        double north, east;  // metres per second
        double course;
    };
    const std::vector<Case> cases = {
        {"north", 2, 0, pi / 2},        {"east", 0, 2, 0.0},
        {"west", 0, -2, -pi},           {"south", -2, 0, -pi / 2},
        {"north-east", 2, 2, pi / 4},   {"north-west", 2, -2, 3 * pi / 4},
        {"south-east", -2, 2, -pi / 4}, {"south-west", -2, -2, -3 * pi / 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CSpeedEngine engine;
        CGPSData d;
        for (int k = 0; k < 4; ++k) {
            d = Epoch(c.north * k, c.east * k, 10.0 + k);
            engine.Update(d);
        }
        ASSERT_TRUE(d.m_bVelocityValid);
        EXPECT_NEAR(d.m_dCourse, c.course, 1e-6);
        EXPECT_NEAR(d.m_dSpeed, std::hypot(c.north, c.east), 1e-6);
    }
}

TEST(SpeedEngineTest, TimeSteps) {
    struct Step {
        double north;
        double utc;
        int fix;
        std::optional<double> speed;  // none: no velocity, course and speed untouched
    };
    struct Case {
        const char* legend;
        std::vector<Step> steps;
    };
    const int gps = UDF_SIGNAL_GPS;
    const std::vector<Case> cases = {
        // Means 0 and 1.5 over dt 1.5.
        {"across midnight", {{0, 86399.0, gps, {}}, {3, 0.5, gps, 1.0}}},
        // The fixless epoch is not in the window: dt runs from the last fixed epoch.
        {"fixless epoch between fixed ones",
         {{0, 10.0, gps, {}}, {500, 11.0, UDF_SIGNAL_NONE, {}}, {3, 12.0, gps, 0.75}}},
        // The repeated time still enters the window: means (0+3)/2 and (0+3+6)/3.
        {"repeated time", {{0, 10.0, gps, {}}, {3, 10.0, gps, {}}, {6, 11.0, gps, 1.5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CSpeedEngine engine;
        for (const Step& s : c.steps) {
            CGPSData d = Epoch(s.north, 0.0, s.utc, s.fix);
            const CGPSData before = d;
            EXPECT_EQ(engine.Update(d), s.speed.has_value()) << s.utc;
            EXPECT_EQ(d.m_bVelocityValid, s.speed.has_value());
            if (s.speed) {
                EXPECT_NEAR(d.m_dSpeed, *s.speed, 1e-6) << s.utc;
            } else {
                EXPECT_EQ(d.m_dSpeed, before.m_dSpeed);
                EXPECT_EQ(d.m_dCourse, before.m_dCourse);
            }
            if (s.fix == UDF_SIGNAL_NONE) {
                EXPECT_EQ(d.m_dNorthOffset, before.m_dNorthOffset);
            }
        }
    }
}

TEST(SpeedEngineTest, WindowKeepsTheLastThreeCopies) {
    CSpeedEngine engine;
    for (int k = 0; k < 6; ++k) {
        CGPSData d = Epoch(k, 0.0, 50.0 + k);
        engine.Update(d);
        d.m_dUTCTime = -1.0;  // the window holds copies, not the caller's record
        ASSERT_EQ(engine.GetCount(), std::min(k + 1, CSpeedEngine::kWindow));
        EXPECT_EQ(static_cast<CGPSData*>(engine.GetHead())->m_dUTCTime, 50.0 + std::max(0, k - 2));
        EXPECT_EQ(static_cast<CGPSData*>(engine.GetTail())->m_dUTCTime, 50.0 + k);
    }
}

TEST(SpeedEngineTest, ResetTakesANewOrigin) {
    CSpeedEngine engine;
    for (int k = 0; k < 3; ++k) {
        CGPSData d = Epoch(10.0 * k, 0.0, k);
        engine.Update(d);
    }
    engine.Reset();
    EXPECT_TRUE(engine.IsEmpty());
    for (double field : {engine.m_dLonScale, engine.m_dOriginLat, engine.m_dOriginLon,
                         engine.m_dNewTime, engine.m_dNewNorth, engine.m_dNewEast,
                         engine.m_dOldTime, engine.m_dOldNorth, engine.m_dOldEast}) {
        EXPECT_EQ(field, 0.0);
    }

    CGPSData d = Epoch(0.0, 0.0, 5.0);
    d.m_dLatitude = -0.5;
    d.m_dLongitude = 2.0;
    EXPECT_FALSE(engine.Update(d)) << "the first epoch after a reset has nothing to compare with";
    EXPECT_EQ(d.m_dNorthOffset, 0.0);
    EXPECT_EQ(d.m_dEastOffset, 0.0);
    EXPECT_DOUBLE_EQ(engine.m_dLonScale, std::cos(-0.5) * kR);
    EXPECT_EQ(engine.GetCount(), 1);
}

TEST(SpeedEngineTest, DirectionQuadrants) {
    struct Case {
        double dn, de, expected;
    };
    const double r3 = std::sqrt(3.0);
    const std::vector<Case> cases = {
        {0, 0, 0.0},         {1, 0, pi / 2},      {-1, 0, -pi / 2},     {0, 1, 0.0},
        {0, -1, -pi},        {1, 1, pi / 4},      {1, -1, 3 * pi / 4},  {-1, 1, -pi / 4},
        {-1, -1, -3 * pi / 4}, {r3, 1, pi / 3},   {1, -r3, 5 * pi / 6}, {-r3, -1, -2 * pi / 3},
        {-1, r3, -pi / 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "dn " << c.dn << " de " << c.de);
        EXPECT_NEAR(CSpeedEngine::Direction(c.dn, c.de), c.expected, 1e-12);
    }
    EXPECT_DOUBLE_EQ(CSpeedEngine::Distance(1, 2, 4, 6), 5.0);
}

}  // namespace
}  // namespace tolvik
