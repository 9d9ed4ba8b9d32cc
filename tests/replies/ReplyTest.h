// Reply tables for the reply tests: each row states every field a reply changes, stray writes too.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/TestSupport.h"

namespace tolvik::test {

using Rx = TestReceiver;
using Handler = bool (Rx::*)(CString&);

// The fields the reply handlers write, as "name=value". The NMEA statuses are one letter each for
// GGA GSA ZDA GLL VTG SAT GSV: N on, F off, ? unknown. A satellite slot "s<i>" is
// "PRN/azimuth/elevation/SNR/used/in view", the angles in whole degrees.
inline std::vector<std::string> Fields(const CGPSData& d) {
    std::vector<std::string> fields;
    const auto add = [&fields](const std::string& name, const auto& value) {
        std::ostringstream text;
        text << name << "=" << value;
        fields.push_back(text.str());
    };
    const CGPSStatusData& s = d.m_Status;
    std::string nmea;
    for (const NmeaMsgStatus status : s.m_NmeaStatus) nmea += unsigned(status) < 3 ? "NF?"[status] : '#';
    // clang-format off
    add("strength", s.m_nBeaconSignalStrength), add("snr", s.m_nBeaconSNR);
    add("freq", s.m_dBeaconFrequency), add("rate", s.m_nBeaconBitRate);
    add("beaconValid", s.m_bBeaconStatusValid), add("autoTune", s.m_bBeaconAutoTune);
    add("modeValid", s.m_bBeaconModeValid), add("mask", s.m_nElevMask);
    add("saved", s.m_bElevMaskSaved), add("maskValid", s.m_bElevMaskValid);
    add("maskFlag", s.m_bElevMaskFlag), add("nmea", nmea), add("nmeaValid", s.m_bNmeaStatusValid);
    add("alt", s.m_dFixedAltitude), add("pmd", s.m_nPosMode), add("pdop", s.m_nPDOPMask);
    add("hdop", s.m_nHDOPMask), add("vdop", s.m_nVDOPMask), add("posValid", s.m_bPosModeValid);
    add("period", s.m_dOutputPeriod), add("ack", s.m_bAckReceived), add("dgps", s.m_nDgpsMode);
    add("dgpsValid", s.m_bDgpsModeValid), add("lband", s.m_nLbandTuneMode);
    add("text", std::string(s.m_szReplyText, strnlen(s.m_szReplyText, sizeof s.m_szReplyText)));
    add("textValid", s.m_bReplyTextValid), add("updated", s.m_bUpdated);
    add("horz", d.m_dHorzError), add("vert", d.m_dVertError), add("err", d.m_dPosError);
    // clang-format on
    for (int i = 0; i < CGPSData::kMaxSatellites; ++i) {
        const CGPSSatelliteData& sat = d.m_Satellites[i];
        const double degrees = 180 / std::numbers::pi;
        std::ostringstream slot;
        slot << sat.m_nPRN << "/" << std::lround(sat.m_dAzimuth * degrees) << "/"
             << std::lround(sat.m_dElevation * degrees) << "/" << sat.m_nSNR << (sat.m_bUsed ? "/U" : "/-")
             << (sat.m_bInView ? "/v" : "/-");
        add("s" + std::to_string(i), slot.str());
    }
    add("inView", d.m_nSatellitesInView), add("meanSNR", d.m_dMeanSNR);
    add("svValid", d.m_bSVInfoValid), add("changed", d.m_bSatellitesChanged);
    return fields;
}

// The fields of the epoch record that differ from before, in the order of Fields.
inline std::string Changes(const CGPSData& before) {
    const std::vector<std::string> was = Fields(before), now = Fields(CGPSReceiver::m_GPSData);
    std::string changes;
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (now[i] != was[i]) changes += (changes.empty() ? "" : " ") + now[i];
    }
    return changes;
}

// A reply: the handler, the text, what the handler returns and what it changes ("" nothing).
using Reply = std::tuple<Handler, CString, bool, std::string>;

class ReplyTest : public ::testing::Test {
protected:
    static CString N(const std::string& body) { return NmeaText(body); }  // "$" body "*hh\r\n"
    bool Run(Handler handler, CString text) { return (rx.*handler)(text); }
    // Runs every reply on a fresh epoch record set up by prepare.
    void Check(std::initializer_list<Reply> replies, void (*prepare)(CGPSData&) = nullptr) {
        for (const auto& [handler, text, ok, changes] : replies) {
            CGPSReceiver::m_GPSData = CGPSData();
            if (prepare) prepare(CGPSReceiver::m_GPSData);
            const CGPSData before = CGPSReceiver::m_GPSData;
            EXPECT_EQ(Run(handler, text), ok) << text.ToBytes();
            EXPECT_EQ(Changes(before), changes) << text.ToBytes();
        }
    }
    TestReceiver rx;
};

}  // namespace tolvik::test
