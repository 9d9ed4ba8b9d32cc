#include "Records.h"

#include "Text.h"

#include <string>

namespace tolvik::output {

namespace {

void StatusFields(JsonLine& j, const CGPSStatusData& s) {
    j.Field("updated", s.m_bUpdated);
    j.Field("beaconStatusValid", s.m_bBeaconStatusValid);
    j.Field("beaconSignalStrength", s.m_nBeaconSignalStrength);
    j.Field("beaconSnr", s.m_nBeaconSNR);
    j.Field("beaconFrequency", s.m_dBeaconFrequency);
    j.Field("beaconBitRate", s.m_nBeaconBitRate);
    j.Field("beaconModeValid", s.m_bBeaconModeValid);
    j.Field("beaconAutoTune", s.m_bBeaconAutoTune);
    j.Field("elevMaskFlag", s.m_bElevMaskFlag);
    j.Field("elevMaskValid", s.m_bElevMaskValid);
    j.Field("elevMask", s.m_nElevMask);
    j.Field("elevMaskSaved", s.m_bElevMaskSaved);
    j.Field("nmeaStatusValid", s.m_bNmeaStatusValid);
    j.Key("nmeaStatus").StartArray();
    for (const auto status : s.m_NmeaStatus) j.Int(status);
    j.EndArray();
    j.Field("posModeValid", s.m_bPosModeValid);
    j.Field("fixedAltitude", s.m_dFixedAltitude);
    j.Field("posMode", s.m_nPosMode);
    j.Field("pdopMask", s.m_nPDOPMask);
    j.Field("hdopMask", s.m_nHDOPMask);
    j.Field("vdopMask", s.m_nVDOPMask);
    j.Field("outputPeriod", s.m_dOutputPeriod);
    j.Field("ackReceived", s.m_bAckReceived);
    j.Field("dgpsModeValid", s.m_bDgpsModeValid);
    j.Field("dgpsMode", static_cast<std::int32_t>(s.m_nDgpsMode));
    j.Field("lbandTuneMode", s.m_nLbandTuneMode);
    j.Field("replyTextValid", s.m_bReplyTextValid);
    j.Field("replyText", FixedText(s.m_szReplyText, sizeof s.m_szReplyText));
}

}  // namespace

std::string_view StatusRecord(JsonLine& j, const CGPSStatusData& s) {
    j.Begin();
    StatusFields(j, s);
    return j.End();
}

std::string_view EpochRecord(JsonLine& j, const CGPSData& d, bool withSatellites, bool withStatus) {
    j.Begin();
    j.Field("type", "epoch");
    j.Field("latitude", d.m_dLatitude);
    j.Field("longitude", d.m_dLongitude);
    j.Field("altitude", d.m_dAltitude);
    j.Field("hdop", d.m_dHDOP);
    j.Field("pdop", d.m_dPDOP);
    j.Field("vdop", d.m_dVDOP);
    j.Field("meanSnr", d.m_dMeanSNR);
    j.Field("horzError", d.m_dHorzError);
    j.Field("vertError", d.m_dVertError);
    j.Field("posError", d.m_dPosError);
    j.Field("time", d.m_Time.GetTime());
    if (withSatellites) {
        j.Key("satellites").StartArray();
        for (const auto& sv : d.m_Satellites) {
            if (sv.m_nPRN == 0) continue;
            j.StartObject();
            j.Field("prn", sv.m_nPRN);
            j.Field("elevation", sv.m_dElevation);
            j.Field("azimuth", sv.m_dAzimuth);
            j.Field("used", sv.m_bUsed);
            j.Field("inView", sv.m_bInView);
            j.Field("snr", sv.m_nSNR);
            j.EndObject();
        }
        j.EndArray();
    }
    j.Field("satellitesUsed", d.m_nSatellitesUsed);
    j.Field("satellitesInView", d.m_nSatellitesInView);
    j.Field("fixStatus", d.m_nFixStatus);
    j.Field("course", d.m_dCourse);
    j.Field("speed", d.m_dSpeed);
    j.Field("positionValid", d.m_bPositionValid);
    j.Field("velocityValid", d.m_bVelocityValid);
    j.Field("dopValid", d.m_bDOPValid);
    j.Field("svInfoValid", d.m_bSVInfoValid);
    j.Field("satellitesChanged", d.m_bSatellitesChanged);
    j.Field("proprietaryValid", d.m_bProprietaryValid);
    j.Field("utcTime", d.m_dUTCTime);
    j.Field("northOffset", d.m_dNorthOffset);
    j.Field("eastOffset", d.m_dEastOffset);
    j.Field("proprietary", FixedText(d.m_szProprietary, sizeof d.m_szProprietary));
    if (withStatus) {
        j.Key("status").StartObject();
        StatusFields(j, d.m_Status);
        j.EndObject();
    }
    return j.End();
}

std::string_view RawEpochRecord(JsonLine& j, const CGPSDataRaw& r) {
    j.Begin();
    j.Field("type", "raw");
    j.Field("time", r.m_Time.GetTime());
    j.Field("latitude", r.m_dLatitude);
    j.Field("longitude", r.m_dLongitude);
    j.Field("height", r.m_dHeight);
    j.Field("positionValid", r.m_bPositionValid);
    j.Field("lastRecord", r.m_bLastRecord);
    j.Field("receiverTime", r.m_dReceiverTime);
    j.Field("correctedTime", r.m_dCorrectedTime);
    j.Field("clockOffset", r.m_dClockOffset);
    j.Field("clockDrift", r.m_dClockDrift);
    j.Field("gpsWeek", r.m_nGPSWeek);
    j.Field("numSv", r.m_nNumSV);
    j.Key("satellites").StartArray();
    for (int i = 0; i < r.m_nNumSV && i < CGPSDataRaw::kSlots; ++i) {
        const auto& sv = r.m_Satellites[i];
        j.StartObject();
        j.Field("prn", sv.m_nPRN);
        j.Field("tag", sv.m_nTag);
        j.Field("range", sv.m_dRange);
        j.Field("phase", sv.m_dPhase);
        j.Field("doppler", sv.m_dDoppler);
        j.Field("valid", sv.m_bValid);
        j.EndObject();
    }
    j.EndArray();
    return j.End();
}

std::string_view EphemerisRecord(JsonLine& j, const CGPSDataEphemeris& e) {
    j.Begin();
    j.Field("type", "ephemeris");
    j.Field("prn", e.m_nPRN);
    j.Field("week", e.m_nWeek);
    j.Field("tow", e.m_nTOW);
    j.Field("tgd", e.m_dTgd);
    j.Field("aodc", e.m_nAODC);
    j.Field("toc", e.m_nToc);
    j.Field("af2", e.m_dAf2);
    j.Field("af1", e.m_dAf1);
    j.Field("af0", e.m_dAf0);
    j.Field("aode", e.m_nAODE);
    j.Field("deltaN", e.m_dDeltaN);
    j.Field("m0", e.m_dM0);
    j.Field("e", e.m_dE);
    j.Field("rootA", e.m_dRootA);
    j.Field("toe", e.m_nToe);
    j.Field("cic", e.m_dCic);
    j.Field("crc", e.m_dCrc);
    j.Field("cis", e.m_dCis);
    j.Field("crs", e.m_dCrs);
    j.Field("cuc", e.m_dCuc);
    j.Field("cus", e.m_dCus);
    j.Field("omega0", e.m_dOmega0);
    j.Field("omega", e.m_dOmega);
    j.Field("i0", e.m_dI0);
    j.Field("omegaDot", e.m_dOmegaDot);
    j.Field("iDot", e.m_dIDot);
    return j.End();
}

std::string_view BinaryRecord(JsonLine& j, const std::vector<unsigned>& words) {
    j.Begin();
    j.Field("type", "binary");
    j.Key("words").StartArray();
    for (const unsigned w : words) j.Int(w);
    j.EndArray();
    return j.End();
}

std::string_view TextRecord(JsonLine& j, std::string_view bytes) {
    // Receiver bytes are Latin-1; JSON text is UTF-8.
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (b >> 6));
            text += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    j.Begin();
    j.Field("type", "text");
    j.Field("text", text);
    return j.End();
}

}  // namespace tolvik::output
