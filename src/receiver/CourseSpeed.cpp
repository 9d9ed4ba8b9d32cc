// Course and speed from the receiver's own VTG sentence.
//
// Once a receiver has sent one good VTG, its values are trusted over our own estimate from
// successive positions: m_bComputeMotion goes false and stays so until the next Initialize.
#include <cmath>
#include <numbers>

#include "tolvik/framing/CParser.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kOneOver180 = 0.005555555555555556;
constexpr double kKmhToMs = 0.2777777777777778;  // 1000 m / 3600 s

// True course in degrees (clockwise from north) to the mathematical angle counter-clockwise
// from east, in [0, 2pi).
double TrueCourseToRadians(double dDegrees) {
    double dAngle = std::fmod((450.0 - dDegrees) * std::numbers::pi * kOneOver180, kTwoPi);
    if (dAngle < 0.0) dAngle += kTwoPi;
    // A remainder a hair below zero can round up to 2pi when shifted; that is east, 0.
    if (dAngle >= kTwoPi) dAngle = 0.0;
    return dAngle;
}

}  // namespace

// $GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48
//  1. true course over ground, degrees
//  2. "T" (true); anything else fails
//  3-6. magnetic course, "M", speed in knots, "N" (skipped)
//  7. speed over ground, km/h
//  8. "K" (km/h); anything else fails, leaving the course already stored
bool CGPSReceiver::ProcessVTG(CString& strMessage) {
    CParser parser = CParser::Borrowing(strMessage, L",*", true);
    double dValue = 0.0;
    try {
        CString strField;
        parser.SkipField();  // header
        parser.GetDouble(dValue);
        parser.GetNextString(strField);
        if (strField.CompareNoCase(L"T") != 0) return false;
        m_GPSData.m_dCourse = TrueCourseToRadians(dValue);

        for (int i = 3; i <= 6; ++i) parser.SkipField();
        parser.GetDouble(dValue);
        parser.GetNextString(strField);
        if (strField.CompareNoCase(L"K") != 0) return false;
        m_GPSData.m_dSpeed = dValue * kKmhToMs;
    } catch (const CParserException&) {
        return false;
    }
    m_bComputeMotion = false;
    m_GPSData.m_bVelocityValid = true;
    return true;
}

}  // namespace tolvik
