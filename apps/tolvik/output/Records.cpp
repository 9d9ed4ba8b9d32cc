#include "Records.h"

#include "Text.h"

#include <algorithm>
#include <span>
#include <string>
#include <tuple>

namespace tolvik::output {

namespace {

// A field of a record: its name in the object and the member it comes from. The records name
// every field once, in these tables, in the order the objects list them.
template <class Record, class Value>
struct Member {
    std::string_view name;
    Value Record::*field;
};
// Spelled out because clang before 17 does not deduce an aggregate's template arguments.
template <class Record, class Value>
Member(std::string_view, Value Record::*) -> Member<Record, Value>;

template <class Record, class Table>
void Fields(JsonLine& j, const Record& r, const Table& table) {
    std::apply([&](const auto&... m) { (j.Field(m.name, r.*m.field), ...); }, table);
}

constexpr std::tuple kStatusHead{
    Member{"updated", &CGPSStatusData::m_bUpdated},
    Member{"beaconStatusValid", &CGPSStatusData::m_bBeaconStatusValid},
    Member{"beaconSignalStrength", &CGPSStatusData::m_nBeaconSignalStrength},
    Member{"beaconSnr", &CGPSStatusData::m_nBeaconSNR},
    Member{"beaconFrequency", &CGPSStatusData::m_dBeaconFrequency},
    Member{"beaconBitRate", &CGPSStatusData::m_nBeaconBitRate},
    Member{"beaconModeValid", &CGPSStatusData::m_bBeaconModeValid},
    Member{"beaconAutoTune", &CGPSStatusData::m_bBeaconAutoTune},
    Member{"elevMaskFlag", &CGPSStatusData::m_bElevMaskFlag},
    Member{"elevMaskValid", &CGPSStatusData::m_bElevMaskValid},
    Member{"elevMask", &CGPSStatusData::m_nElevMask},
    Member{"elevMaskSaved", &CGPSStatusData::m_bElevMaskSaved},
    Member{"nmeaStatusValid", &CGPSStatusData::m_bNmeaStatusValid},
};

constexpr std::tuple kStatusTail{
    Member{"posModeValid", &CGPSStatusData::m_bPosModeValid},
    Member{"fixedAltitude", &CGPSStatusData::m_dFixedAltitude},
    Member{"posMode", &CGPSStatusData::m_nPosMode},
    Member{"pdopMask", &CGPSStatusData::m_nPDOPMask},
    Member{"hdopMask", &CGPSStatusData::m_nHDOPMask},
    Member{"vdopMask", &CGPSStatusData::m_nVDOPMask},
    Member{"outputPeriod", &CGPSStatusData::m_dOutputPeriod},
    Member{"ackReceived", &CGPSStatusData::m_bAckReceived},
    Member{"dgpsModeValid", &CGPSStatusData::m_bDgpsModeValid},
};

constexpr std::tuple kStatusLast{
    Member{"lbandTuneMode", &CGPSStatusData::m_nLbandTuneMode},
    Member{"replyTextValid", &CGPSStatusData::m_bReplyTextValid},
};

constexpr std::tuple kEpochHead{
    Member{"latitude", &CGPSData::m_dLatitude},   Member{"longitude", &CGPSData::m_dLongitude},
    Member{"altitude", &CGPSData::m_dAltitude},   Member{"hdop", &CGPSData::m_dHDOP},
    Member{"pdop", &CGPSData::m_dPDOP},           Member{"vdop", &CGPSData::m_dVDOP},
    Member{"meanSnr", &CGPSData::m_dMeanSNR},     Member{"horzError", &CGPSData::m_dHorzError},
    Member{"vertError", &CGPSData::m_dVertError}, Member{"posError", &CGPSData::m_dPosError},
};

constexpr std::tuple kSatellite{
    Member{"prn", &CGPSSatelliteData::m_nPRN},         Member{"elevation", &CGPSSatelliteData::m_dElevation},
    Member{"azimuth", &CGPSSatelliteData::m_dAzimuth}, Member{"used", &CGPSSatelliteData::m_bUsed},
    Member{"inView", &CGPSSatelliteData::m_bInView},   Member{"snr", &CGPSSatelliteData::m_nSNR},
};

constexpr std::tuple kEpochTail{
    Member{"satellitesUsed", &CGPSData::m_nSatellitesUsed},
    Member{"satellitesInView", &CGPSData::m_nSatellitesInView},
    Member{"fixStatus", &CGPSData::m_nFixStatus},
    Member{"course", &CGPSData::m_dCourse},
    Member{"speed", &CGPSData::m_dSpeed},
    Member{"positionValid", &CGPSData::m_bPositionValid},
    Member{"velocityValid", &CGPSData::m_bVelocityValid},
    Member{"dopValid", &CGPSData::m_bDOPValid},
    Member{"svInfoValid", &CGPSData::m_bSVInfoValid},
    Member{"satellitesChanged", &CGPSData::m_bSatellitesChanged},
    Member{"proprietaryValid", &CGPSData::m_bProprietaryValid},
    Member{"utcTime", &CGPSData::m_dUTCTime},
    Member{"northOffset", &CGPSData::m_dNorthOffset},
    Member{"eastOffset", &CGPSData::m_dEastOffset},
};

constexpr std::tuple kRawHead{
    Member{"latitude", &CGPSDataRaw::m_dLatitude},
    Member{"longitude", &CGPSDataRaw::m_dLongitude},
    Member{"height", &CGPSDataRaw::m_dHeight},
    Member{"positionValid", &CGPSDataRaw::m_bPositionValid},
    Member{"lastRecord", &CGPSDataRaw::m_bLastRecord},
    Member{"receiverTime", &CGPSDataRaw::m_dReceiverTime},
    Member{"correctedTime", &CGPSDataRaw::m_dCorrectedTime},
    Member{"clockOffset", &CGPSDataRaw::m_dClockOffset},
    Member{"clockDrift", &CGPSDataRaw::m_dClockDrift},
    Member{"gpsWeek", &CGPSDataRaw::m_nGPSWeek},
    Member{"numSv", &CGPSDataRaw::m_nNumSV},
};

constexpr std::tuple kRawSatellite{
    Member{"prn", &CGPSSatelliteDataRaw::m_nPRN},         Member{"tag", &CGPSSatelliteDataRaw::m_nTag},
    Member{"range", &CGPSSatelliteDataRaw::m_dRange},     Member{"phase", &CGPSSatelliteDataRaw::m_dPhase},
    Member{"doppler", &CGPSSatelliteDataRaw::m_dDoppler}, Member{"valid", &CGPSSatelliteDataRaw::m_bValid},
};

constexpr std::tuple kEphemeris{
    Member{"prn", &CGPSDataEphemeris::m_nPRN},
    Member{"week", &CGPSDataEphemeris::m_nWeek},
    Member{"tow", &CGPSDataEphemeris::m_nTOW},
    Member{"tgd", &CGPSDataEphemeris::m_dTgd},
    Member{"aodc", &CGPSDataEphemeris::m_nAODC},
    Member{"toc", &CGPSDataEphemeris::m_nToc},
    Member{"af2", &CGPSDataEphemeris::m_dAf2},
    Member{"af1", &CGPSDataEphemeris::m_dAf1},
    Member{"af0", &CGPSDataEphemeris::m_dAf0},
    Member{"aode", &CGPSDataEphemeris::m_nAODE},
    Member{"deltaN", &CGPSDataEphemeris::m_dDeltaN},
    Member{"m0", &CGPSDataEphemeris::m_dM0},
    Member{"e", &CGPSDataEphemeris::m_dE},
    Member{"rootA", &CGPSDataEphemeris::m_dRootA},
    Member{"toe", &CGPSDataEphemeris::m_nToe},
    Member{"cic", &CGPSDataEphemeris::m_dCic},
    Member{"crc", &CGPSDataEphemeris::m_dCrc},
    Member{"cis", &CGPSDataEphemeris::m_dCis},
    Member{"crs", &CGPSDataEphemeris::m_dCrs},
    Member{"cuc", &CGPSDataEphemeris::m_dCuc},
    Member{"cus", &CGPSDataEphemeris::m_dCus},
    Member{"omega0", &CGPSDataEphemeris::m_dOmega0},
    Member{"omega", &CGPSDataEphemeris::m_dOmega},
    Member{"i0", &CGPSDataEphemeris::m_dI0},
    Member{"omegaDot", &CGPSDataEphemeris::m_dOmegaDot},
    Member{"iDot", &CGPSDataEphemeris::m_dIDot},
};

// The "satellites" array of an epoch or raw epoch: one object a slot, empty slots left out when
// the record marks them so (PRN 0).
template <class Satellite, class Table>
void Satellites(JsonLine& j, std::span<const Satellite> slots, bool skipEmpty, const Table& table) {
    j.Key("satellites").StartArray();
    for (const Satellite& sv : slots) {
        if (skipEmpty && sv.m_nPRN == 0) continue;
        j.StartObject();
        Fields(j, sv, table);
        j.EndObject();
    }
    j.EndArray();
}

void StatusFields(JsonLine& j, const CGPSStatusData& s) {
    Fields(j, s, kStatusHead);
    j.Key("nmeaStatus").StartArray();
    for (const auto status : s.m_NmeaStatus) j.Int(status);
    j.EndArray();
    Fields(j, s, kStatusTail);
    j.Field("dgpsMode", static_cast<std::int32_t>(s.m_nDgpsMode));
    Fields(j, s, kStatusLast);
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
    Fields(j, d, kEpochHead);
    j.Field("time", d.m_Time.GetTime());
    if (withSatellites) Satellites<CGPSSatelliteData>(j, d.m_Satellites, true, kSatellite);
    Fields(j, d, kEpochTail);
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
    Fields(j, r, kRawHead);
    const auto slots = static_cast<std::size_t>(std::clamp(r.m_nNumSV, 0, CGPSDataRaw::kSlots));
    Satellites(j, std::span<const CGPSSatelliteDataRaw>(r.m_Satellites, slots), false, kRawSatellite);
    return j.End();
}

std::string_view EphemerisRecord(JsonLine& j, const CGPSDataEphemeris& e) {
    j.Begin();
    j.Field("type", "ephemeris");
    Fields(j, e, kEphemeris);
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
