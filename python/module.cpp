// The Python module tolvik: the session API for scripts.
//
// Records become objects whose attributes are the record's fields, named as in the tool's JSON
// output in snake_case. The library works with the GIL released; Python callbacks take it on the
// session's delivery thread. A replay is an iterator fed through a small bounded queue, so a
// script that reads slowly slows the replay down instead of filling memory.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <numbers>
#include <optional>
#include <thread>

#include "tolvik/Session.h"
#include "tolvik/engine/CGPSEngine.h"

namespace py = pybind11;
using namespace tolvik;

namespace {

constexpr double kDeg = 180.0 / std::numbers::pi;
constexpr std::size_t kQueueLimit = 256;  // epochs a replay reads ahead of the script
constexpr std::int64_t kDay = 86400;

py::handle g_error;  // tolvik.Error, owned by the module

[[noreturn]] void Raise(const std::string& text) {
    PyErr_SetString(g_error.ptr(), text.c_str());
    throw py::error_already_set();
}

std::string FixedText(const char* bytes, std::size_t max) {
    std::size_t n = 0;
    while (n < max && bytes[n] != '\0') ++n;
    return std::string(bytes, n);
}

py::object UtcDateTime(double seconds) {
    static const py::handle datetime = py::module_::import("datetime").release();  // lives as long as Python
    return datetime.attr("datetime").attr("fromtimestamp")(seconds, datetime.attr("timezone").attr("utc"));
}

// An epoch as Python sees it: the record, and whether the day it was measured on is known (live:
// the host's clock tells it; a recording's day is not in its sentences).
struct Epoch : CGPSData {
    Epoch(const CGPSData& data, bool dateKnown) : CGPSData(data), m_bDateKnown(dateKnown) {}
    bool m_bDateKnown;

    // The fix's time of day on the posting day, or the day before or after when that puts it
    // nearer the moment of posting (a fix just before midnight posted just after it).
    py::object Time() const {
        if (!m_bDateKnown || (!m_bPositionValid && m_dUTCTime == 0.0)) return py::none();
        const std::int64_t posted = m_Time.GetTime();
        const std::int64_t midnight = posted - ((posted % kDay) + kDay) % kDay;
        double best = static_cast<double>(midnight) + m_dUTCTime;
        for (const std::int64_t shift : {-kDay, kDay}) {
            const double candidate = static_cast<double>(midnight + shift) + m_dUTCTime;
            if (std::fabs(candidate - static_cast<double>(posted)) < std::fabs(best - static_cast<double>(posted))) {
                best = candidate;
            }
        }
        return UtcDateTime(best);
    }
};

// Epochs from a session's delivery thread to the script's iterator.
class EpochQueue {
public:
    void Push(const CGPSData& data) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_bClosed || m_queue.size() < kQueueLimit; });
        if (m_bClosed) return;
        m_queue.push_back(data);
        m_changed.notify_all();
    }
    std::optional<CGPSData> Pop() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_queue.empty() || m_bFinished || m_bClosed; });
        if (m_queue.empty()) return std::nullopt;
        CGPSData data = m_queue.front();
        m_queue.pop_front();
        m_changed.notify_all();
        return data;
    }
    void Finish(std::string error) {
        std::lock_guard lock(m_mutex);
        m_bFinished = true;
        m_strError = std::move(error);
        m_changed.notify_all();
    }
    void Close() {
        std::lock_guard lock(m_mutex);
        m_bClosed = true;
        m_changed.notify_all();
    }
    std::string Error() {
        std::lock_guard lock(m_mutex);
        return m_strError;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<CGPSData> m_queue;
    bool m_bFinished = false;
    bool m_bClosed = false;
    std::string m_strError;
};

SessionOptions Options(const std::string& receiver, const std::string& device, int port, int baud,
                       const std::string& replayFile, const std::string& replayMode, int geoidMode,
                       double antennaHeight, int minSatellites, const std::string& settingsFile) {
    SessionOptions o;
    o.receiver = receiver;
    o.device = device;
    o.port = port;
    o.baud = baud;
    o.replayFile = replayFile;
    if (replayMode == "fast") {
        o.replayMode = ReplayMode::Fast;
    } else if (replayMode == "paced") {
        o.replayMode = ReplayMode::Paced;
    } else if (replayMode == "raw") {
        o.replayMode = ReplayMode::Raw;
    } else {
        throw py::value_error("replay_mode must be 'fast', 'paced' or 'raw', not '" + replayMode + "'");
    }
    o.geoidMode = geoidMode;
    o.antennaHeight = antennaHeight;
    o.minSatellites = minSatellites;
    o.settingsFile = settingsFile;
    return o;
}

// tolvik.replay(...): an iterator of epochs, run by a session on a thread of its own.
class Replay {
public:
    explicit Replay(SessionOptions options) : m_session(std::move(options)) {
        m_session.OnEpoch([this](const CGPSData& data) { m_queue.Push(data); });
        bool started = false;
        {
            py::gil_scoped_release release;
            started = m_session.Start();
        }
        if (!started) Raise(m_session.LastError());
        m_runner = std::thread([this] {
            std::string error;
            try {
                if (!m_session.Run()) error = m_session.LastError();
            } catch (const std::exception& e) {
                error = e.what();
            }
            m_queue.Finish(error);
        });
    }
    ~Replay() { Close(); }
    Replay(const Replay&) = delete;
    Replay& operator=(const Replay&) = delete;

    Epoch Next() {
        std::optional<CGPSData> data;
        {
            py::gil_scoped_release release;
            data = m_queue.Pop();
        }
        if (data) return Epoch(*data, false);
        const std::string error = m_queue.Error();
        if (!error.empty() && !m_bClosed) Raise(error);
        throw py::stop_iteration();
    }
    void Close() {
        m_bClosed = true;
        py::gil_scoped_release release;
        m_queue.Close();
        m_session.Stop();
        if (m_runner.joinable()) m_runner.join();
    }

private:
    EpochQueue m_queue;
    Session m_session;
    std::thread m_runner;
    bool m_bClosed = false;
};

// tolvik.Session: the C++ session with Python callbacks. Destroying it stops it first without
// the GIL (a callback may be waiting for it), then lets the callbacks go with the GIL held.
class PySession {
public:
    explicit PySession(SessionOptions options) : m_bLive(options.replayFile.empty()), m_session(std::move(options)) {}
    ~PySession() {
        {
            py::gil_scoped_release release;
            m_session.Stop();
        }
    }
    PySession(const PySession&) = delete;
    PySession& operator=(const PySession&) = delete;

    template <typename Record, typename Convert>
    std::function<void(const Record&)> Wrap(py::function callback, Convert convert) {
        RefuseWhileRunning();
        if (callback.is_none()) return {};
        return [callback, convert](const Record& record) {
            py::gil_scoped_acquire acquire;
            callback(convert(record));
        };
    }
    void OnEpoch(py::function callback) {
        const bool live = m_bLive;
        m_session.OnEpoch(Wrap<CGPSData>(std::move(callback), [live](const CGPSData& d) { return Epoch(d, live); }));
    }
    void OnRawEpoch(py::function callback) {
        m_session.OnRawEpoch(Wrap<CGPSDataRaw>(std::move(callback), [](const CGPSDataRaw& r) { return r; }));
    }
    void OnEphemeris(py::function callback) {
        m_session.OnEphemeris(
            Wrap<CGPSDataEphemeris>(std::move(callback), [](const CGPSDataEphemeris& e) { return e; }));
    }
    void OnBinary(py::function callback) {
        m_session.OnBinary(Wrap<std::vector<WORD>>(std::move(callback), [](const std::vector<WORD>& w) { return w; }));
    }
    void OnText(py::function callback) {
        m_session.OnText(Wrap<CString>(std::move(callback), [](const CString& t) { return py::bytes(t.ToBytes()); }));
    }
    void OnError(py::function callback) {
        m_session.OnError(Wrap<std::string>(std::move(callback), [](const std::string& t) { return t; }));
    }

    void Start() {
        bool started = false;
        {
            py::gil_scoped_release release;
            started = m_session.Start();
        }
        if (!started) Raise(m_session.LastError());
    }
    void Stop() {
        py::gil_scoped_release release;
        m_session.Stop();
    }
    void Run() {
        bool ok = false;
        {
            py::gil_scoped_release release;
            ok = m_session.Run();
        }
        if (!ok) Raise(m_session.LastError());
    }
    bool IsRunning() const { return m_session.IsRunning(); }
    std::string LastError() const { return m_session.LastError(); }
    CGPSReceiver& Receiver() { return m_session.Receiver(); }

private:
    void RefuseWhileRunning() const {
        if (m_session.IsRunning()) throw py::value_error("register callbacks before start()");
    }
    bool m_bLive;
    Session m_session;
};

template <typename T, typename F>
void ReadOnly(py::class_<T>& cls, const char* name, F getter) {
    cls.def_property_readonly(name, getter);
}

// A command operation without arguments, run without the GIL (commands pace the receiver with
// sleeps and may wait for its acknowledgement).
template <void (CGPSReceiver::*Operation)()>
void Command(CGPSReceiver& receiver) {
    py::gil_scoped_release release;
    (receiver.*Operation)();
}

py::list Receivers() {
    static std::vector<py::dict>* catalogue = nullptr;
    if (!catalogue) {
        catalogue = new std::vector<py::dict>;  // kept for the life of the interpreter
        CGPSEngine engine;
        for (CGPSReceiver* r : engine.Receivers()) {
            py::dict row;
            row["name"] = r->GetName().ToBytes();
            row["class"] = std::string(r->GetRuntimeClass()->m_lpszClassName);
            row["default_baudrate"] = r->GetDefaultBaudrate();
            row["has_raw_data"] = r->HasRawData();
            row["implements_query_nmea"] = r->ImplementsQueryNmea();
            row["implements_query_gps_settings"] = r->ImplementsQueryGpsSettings();
            row["implements_beacon"] = r->ImplementsBeacon();
            row["implements_set_elev_mask"] = r->ImplementsSetElevMask();
            row["implements_set_nmea"] = r->ImplementsSetNmea();
            row["implements_reset_all"] = r->ImplementsResetAll();
            row["gga_sends_ortho_height"] = r->GGASendsOrthoHeight();
            row["has_dgps_support"] = r->HasDGPSSupport();
            catalogue->push_back(row);
        }
    }
    py::list rows;
    for (const py::dict& row : *catalogue) rows.append(py::dict(row));
    return rows;
}

}  // namespace

PYBIND11_MODULE(tolvik, m) {
    m.doc() = "Tolvik: GPS receivers over a serial line, and replays of their recordings.";
    static py::exception<std::runtime_error> error(m, "Error", PyExc_RuntimeError);
    g_error = error;
    m.attr("__version__") = TOLVIK_VERSION;

    py::class_<CGPSSatelliteData>(m, "Satellite")
        .def_readonly("prn", &CGPSSatelliteData::m_nPRN)
        .def_readonly("elevation", &CGPSSatelliteData::m_dElevation)
        .def_readonly("azimuth", &CGPSSatelliteData::m_dAzimuth)
        .def_readonly("used", &CGPSSatelliteData::m_bUsed)
        .def_readonly("in_view", &CGPSSatelliteData::m_bInView)
        .def_readonly("snr", &CGPSSatelliteData::m_nSNR)
        .def("__repr__", [](const CGPSSatelliteData& s) {
            return "Satellite(prn=" + std::to_string(s.m_nPRN) + ", snr=" + std::to_string(s.m_nSNR) +
                   (s.m_bUsed ? ", used)" : ")");
        });

    py::class_<CGPSStatusData> status(m, "Status");
    status.def_readonly("updated", &CGPSStatusData::m_bUpdated)
        .def_readonly("beacon_status_valid", &CGPSStatusData::m_bBeaconStatusValid)
        .def_readonly("beacon_signal_strength", &CGPSStatusData::m_nBeaconSignalStrength)
        .def_readonly("beacon_snr", &CGPSStatusData::m_nBeaconSNR)
        .def_readonly("beacon_frequency", &CGPSStatusData::m_dBeaconFrequency)
        .def_readonly("beacon_bit_rate", &CGPSStatusData::m_nBeaconBitRate)
        .def_readonly("beacon_mode_valid", &CGPSStatusData::m_bBeaconModeValid)
        .def_readonly("beacon_auto_tune", &CGPSStatusData::m_bBeaconAutoTune)
        .def_readonly("elev_mask_flag", &CGPSStatusData::m_bElevMaskFlag)
        .def_readonly("elev_mask_valid", &CGPSStatusData::m_bElevMaskValid)
        .def_readonly("elev_mask", &CGPSStatusData::m_nElevMask)
        .def_readonly("elev_mask_saved", &CGPSStatusData::m_bElevMaskSaved)
        .def_readonly("nmea_status_valid", &CGPSStatusData::m_bNmeaStatusValid)
        .def_readonly("pos_mode_valid", &CGPSStatusData::m_bPosModeValid)
        .def_readonly("fixed_altitude", &CGPSStatusData::m_dFixedAltitude)
        .def_readonly("pos_mode", &CGPSStatusData::m_nPosMode)
        .def_readonly("pdop_mask", &CGPSStatusData::m_nPDOPMask)
        .def_readonly("hdop_mask", &CGPSStatusData::m_nHDOPMask)
        .def_readonly("vdop_mask", &CGPSStatusData::m_nVDOPMask)
        .def_readonly("output_period", &CGPSStatusData::m_dOutputPeriod)
        .def_readonly("ack_received", &CGPSStatusData::m_bAckReceived)
        .def_readonly("dgps_mode_valid", &CGPSStatusData::m_bDgpsModeValid)
        .def_readonly("lband_tune_mode", &CGPSStatusData::m_nLbandTuneMode)
        .def_readonly("reply_text_valid", &CGPSStatusData::m_bReplyTextValid);
    ReadOnly(status, "nmea_status", [](const CGPSStatusData& s) {
        std::vector<int> states;
        for (const auto state : s.m_NmeaStatus) states.push_back(static_cast<int>(state));
        return states;
    });
    ReadOnly(status, "dgps_mode", [](const CGPSStatusData& s) { return static_cast<int>(s.m_nDgpsMode); });
    ReadOnly(status, "reply_text",
             [](const CGPSStatusData& s) { return py::bytes(FixedText(s.m_szReplyText, sizeof s.m_szReplyText)); });

    py::class_<Epoch> epoch(m, "Epoch");
    epoch.def_readonly("latitude", &CGPSData::m_dLatitude)
        .def_readonly("longitude", &CGPSData::m_dLongitude)
        .def_readonly("altitude", &CGPSData::m_dAltitude)
        .def_readonly("hdop", &CGPSData::m_dHDOP)
        .def_readonly("pdop", &CGPSData::m_dPDOP)
        .def_readonly("vdop", &CGPSData::m_dVDOP)
        .def_readonly("mean_snr", &CGPSData::m_dMeanSNR)
        .def_readonly("horz_error", &CGPSData::m_dHorzError)
        .def_readonly("vert_error", &CGPSData::m_dVertError)
        .def_readonly("pos_error", &CGPSData::m_dPosError)
        .def_readonly("satellites_used", &CGPSData::m_nSatellitesUsed)
        .def_readonly("satellites_in_view", &CGPSData::m_nSatellitesInView)
        .def_readonly("fix_status", &CGPSData::m_nFixStatus)
        .def_readonly("course", &CGPSData::m_dCourse)
        .def_readonly("speed", &CGPSData::m_dSpeed)
        .def_readonly("position_valid", &CGPSData::m_bPositionValid)
        .def_readonly("velocity_valid", &CGPSData::m_bVelocityValid)
        .def_readonly("dop_valid", &CGPSData::m_bDOPValid)
        .def_readonly("sv_info_valid", &CGPSData::m_bSVInfoValid)
        .def_readonly("satellites_changed", &CGPSData::m_bSatellitesChanged)
        .def_readonly("proprietary_valid", &CGPSData::m_bProprietaryValid)
        .def_readonly("utc_time", &CGPSData::m_dUTCTime)
        .def_readonly("north_offset", &CGPSData::m_dNorthOffset)
        .def_readonly("east_offset", &CGPSData::m_dEastOffset)
        .def_readonly("status", &CGPSData::m_Status);
    ReadOnly(epoch, "satellites", [](const Epoch& e) {
        std::vector<CGPSSatelliteData> used;
        for (const auto& sv : e.m_Satellites) {
            if (sv.m_nPRN != 0) used.push_back(sv);
        }
        return used;
    });
    ReadOnly(epoch, "proprietary",
             [](const Epoch& e) { return py::bytes(FixedText(e.m_szProprietary, sizeof e.m_szProprietary)); });
    ReadOnly(epoch, "latitude_deg", [](const Epoch& e) { return e.m_dLatitude * kDeg; });
    ReadOnly(epoch, "longitude_deg", [](const Epoch& e) { return e.m_dLongitude * kDeg; });
    ReadOnly(epoch, "time", [](const Epoch& e) { return e.Time(); });
    ReadOnly(epoch, "posted", [](const Epoch& e) { return UtcDateTime(static_cast<double>(e.m_Time.GetTime())); });
    epoch.def("__repr__", [](const Epoch& e) {
        char text[160];
        std::snprintf(text, sizeof text, "Epoch(utc_time=%.2f, fix_status=%d, position_valid=%s, %.7f, %.7f, %.2f m)",
                      e.m_dUTCTime, e.m_nFixStatus, e.m_bPositionValid ? "True" : "False", e.m_dLatitude * kDeg,
                      e.m_dLongitude * kDeg, e.m_dAltitude);
        return std::string(text);
    });

    py::class_<CGPSSatelliteDataRaw>(m, "RawSatellite")
        .def_readonly("prn", &CGPSSatelliteDataRaw::m_nPRN)
        .def_readonly("tag", &CGPSSatelliteDataRaw::m_nTag)
        .def_readonly("range", &CGPSSatelliteDataRaw::m_dRange)
        .def_readonly("phase", &CGPSSatelliteDataRaw::m_dPhase)
        .def_readonly("doppler", &CGPSSatelliteDataRaw::m_dDoppler)
        .def_readonly("valid", &CGPSSatelliteDataRaw::m_bValid);

    py::class_<CGPSDataRaw> raw(m, "RawEpoch");
    raw.def_readonly("latitude", &CGPSDataRaw::m_dLatitude)
        .def_readonly("longitude", &CGPSDataRaw::m_dLongitude)
        .def_readonly("height", &CGPSDataRaw::m_dHeight)
        .def_readonly("position_valid", &CGPSDataRaw::m_bPositionValid)
        .def_readonly("last_record", &CGPSDataRaw::m_bLastRecord)
        .def_readonly("receiver_time", &CGPSDataRaw::m_dReceiverTime)
        .def_readonly("corrected_time", &CGPSDataRaw::m_dCorrectedTime)
        .def_readonly("clock_offset", &CGPSDataRaw::m_dClockOffset)
        .def_readonly("clock_drift", &CGPSDataRaw::m_dClockDrift)
        .def_readonly("gps_week", &CGPSDataRaw::m_nGPSWeek)
        .def_readonly("num_sv", &CGPSDataRaw::m_nNumSV);
    ReadOnly(raw, "satellites", [](const CGPSDataRaw& r) {
        std::vector<CGPSSatelliteDataRaw> satellites;
        for (int i = 0; i < r.m_nNumSV && i < CGPSDataRaw::kSlots; ++i) satellites.push_back(r.m_Satellites[i]);
        return satellites;
    });
    ReadOnly(raw, "posted", [](const CGPSDataRaw& r) { return UtcDateTime(static_cast<double>(r.m_Time.GetTime())); });

    py::class_<CGPSDataEphemeris>(m, "Ephemeris")
        .def_readonly("prn", &CGPSDataEphemeris::m_nPRN)
        .def_readonly("week", &CGPSDataEphemeris::m_nWeek)
        .def_readonly("tow", &CGPSDataEphemeris::m_nTOW)
        .def_readonly("tgd", &CGPSDataEphemeris::m_dTgd)
        .def_readonly("aodc", &CGPSDataEphemeris::m_nAODC)
        .def_readonly("toc", &CGPSDataEphemeris::m_nToc)
        .def_readonly("af2", &CGPSDataEphemeris::m_dAf2)
        .def_readonly("af1", &CGPSDataEphemeris::m_dAf1)
        .def_readonly("af0", &CGPSDataEphemeris::m_dAf0)
        .def_readonly("aode", &CGPSDataEphemeris::m_nAODE)
        .def_readonly("delta_n", &CGPSDataEphemeris::m_dDeltaN)
        .def_readonly("m0", &CGPSDataEphemeris::m_dM0)
        .def_readonly("e", &CGPSDataEphemeris::m_dE)
        .def_readonly("root_a", &CGPSDataEphemeris::m_dRootA)
        .def_readonly("toe", &CGPSDataEphemeris::m_nToe)
        .def_readonly("cic", &CGPSDataEphemeris::m_dCic)
        .def_readonly("crc", &CGPSDataEphemeris::m_dCrc)
        .def_readonly("cis", &CGPSDataEphemeris::m_dCis)
        .def_readonly("crs", &CGPSDataEphemeris::m_dCrs)
        .def_readonly("cuc", &CGPSDataEphemeris::m_dCuc)
        .def_readonly("cus", &CGPSDataEphemeris::m_dCus)
        .def_readonly("omega0", &CGPSDataEphemeris::m_dOmega0)
        .def_readonly("omega", &CGPSDataEphemeris::m_dOmega)
        .def_readonly("i0", &CGPSDataEphemeris::m_dI0)
        .def_readonly("omega_dot", &CGPSDataEphemeris::m_dOmegaDot)
        .def_readonly("i_dot", &CGPSDataEphemeris::m_dIDot);

    // The receiver model: its capabilities and command operations. Replies arrive as epochs.
    py::class_<CGPSReceiver, std::unique_ptr<CGPSReceiver, py::nodelete>>(m, "Receiver")
        .def_property_readonly("name", [](CGPSReceiver& r) { return r.GetName().ToBytes(); })
        .def_property_readonly("current_baudrate", &CGPSReceiver::GetCurrentBaudrate)
        .def_property_readonly("default_baudrate", &CGPSReceiver::GetDefaultBaudrate)
        .def("has_raw_data", &CGPSReceiver::HasRawData)
        .def("implements_query_nmea", &CGPSReceiver::ImplementsQueryNmea)
        .def("implements_query_gps_settings", &CGPSReceiver::ImplementsQueryGpsSettings)
        .def("implements_beacon", &CGPSReceiver::ImplementsBeacon)
        .def("implements_set_elev_mask", &CGPSReceiver::ImplementsSetElevMask)
        .def("implements_set_nmea", &CGPSReceiver::ImplementsSetNmea)
        .def("implements_reset_all", &CGPSReceiver::ImplementsResetAll)
        .def("has_dgps_support", &CGPSReceiver::HasDGPSSupport)
        .def("query_nmea_active", &Command<&CGPSReceiver::QueryNmeaActive>)
        .def("query_gps_settings", &Command<&CGPSReceiver::QueryGpsSettings>)
        .def("query_beacon", &Command<&CGPSReceiver::QueryBeacon>)
        .def("query_sat_elev_mask", &Command<&CGPSReceiver::QuerySatElevMask>)
        .def("set_default_nmea", &Command<&CGPSReceiver::SetDefaultNMEA>)
        .def("set_gga_only_nmea", &Command<&CGPSReceiver::SetGgaOnlyNMEA>)
        .def("query_dgps_mode", &Command<&CGPSReceiver::QueryDgpsMode>)
        .def("query_omni_star", &Command<&CGPSReceiver::QueryOmniStar>)
        .def("query_lband_satellites", &Command<&CGPSReceiver::QueryLbandSatellites>)
        .def("query_waas", &Command<&CGPSReceiver::QueryWAAS>)
        .def("set_sat_elev_mask",
             [](CGPSReceiver& r, int degrees) {
                 py::gil_scoped_release release;
                 r.SetSatElevMask(degrees);
             })
        .def("set_dgps_mode",
             [](CGPSReceiver& r, int mode) {
                 py::gil_scoped_release release;
                 r.SetDgpsMode(static_cast<DgpsMode>(mode));
             })
        .def("set_beacon",
             [](CGPSReceiver& r, bool automatic, const std::string& frequency, const std::string& bitRate) {
                 py::gil_scoped_release release;
                 r.SetBeacon(automatic ? BEACON_MODE_AUTOMATIC : BEACON_MODE_MANUAL, CString::FromBytes(frequency),
                             CString::FromBytes(bitRate));
             })
        .def("set_lband_frequency",
             [](CGPSReceiver& r, double frequency, int rate) {
                 py::gil_scoped_release release;
                 r.SetLbandFrequency(frequency, rate);
             })
        .def("enable_post_processing",
             [](CGPSReceiver& r, bool on) {
                 py::gil_scoped_release release;
                 return r.EnablePostProcessing(on);
             })
        .def("reset_all",
             [](CGPSReceiver& r, bool wait) {
                 py::gil_scoped_release release;
                 return r.ResetAll(wait);
             })
        .def("send", [](CGPSReceiver& r, const std::string& command) {
            py::gil_scoped_release release;
            r.Send(CString::FromBytes(command));
        });

    py::class_<PySession>(m, "Session")
        .def(py::init([](const std::string& device, const std::string& receiver, int port, int baud,
                         const std::string& replayFile, const std::string& replayMode, int geoidMode,
                         double antennaHeight, int minSatellites, const std::string& settingsFile) {
                 return std::make_unique<PySession>(Options(receiver, device, port, baud, replayFile, replayMode,
                                                            geoidMode, antennaHeight, minSatellites, settingsFile));
             }),
             py::arg("device") = "", py::kw_only(), py::arg("receiver") = "Other", py::arg("port") = 0,
             py::arg("baud") = 0, py::arg("replay_file") = "", py::arg("replay_mode") = "fast",
             py::arg("geoid_mode") = 0, py::arg("antenna_height") = 0.0, py::arg("min_satellites") = 4,
             py::arg("settings_file") = "")
        .def("on_epoch", &PySession::OnEpoch)
        .def("on_raw_epoch", &PySession::OnRawEpoch)
        .def("on_ephemeris", &PySession::OnEphemeris)
        .def("on_binary", &PySession::OnBinary)
        .def("on_text", &PySession::OnText)
        .def("on_error", &PySession::OnError)
        .def("start", &PySession::Start)
        .def("stop", &PySession::Stop)
        .def("run", &PySession::Run)
        .def_property_readonly("running", &PySession::IsRunning)
        .def_property_readonly("last_error", &PySession::LastError)
        .def_property_readonly("receiver", &PySession::Receiver, py::return_value_policy::reference_internal)
        .def(
            "__enter__",
            [](PySession& s) -> PySession& {
                s.Start();
                return s;
            },
            py::return_value_policy::reference)
        .def("__exit__", [](PySession& s, const py::args&) { s.Stop(); });

    py::class_<Replay>(m, "Replay")
        .def(
            "__iter__", [](Replay& r) -> Replay& { return r; }, py::return_value_policy::reference)
        .def("__next__", &Replay::Next)
        .def("close", &Replay::Close)
        .def(
            "__enter__", [](Replay& r) -> Replay& { return r; }, py::return_value_policy::reference)
        .def("__exit__", [](Replay& r, const py::args&) { r.Close(); });

    m.def(
        "replay",
        [](const std::string& path, const std::string& receiver, bool fast, bool rawMode, int geoidMode,
           double antennaHeight, int minSatellites, const std::string& settingsFile) {
            const std::string mode = rawMode ? "raw" : fast ? "fast" : "paced";
            return std::make_unique<Replay>(
                Options(receiver, "", 0, 0, path, mode, geoidMode, antennaHeight, minSatellites, settingsFile));
        },
        py::arg("path"), py::arg("receiver") = "Other", py::arg("fast") = true, py::kw_only(), py::arg("raw") = false,
        py::arg("geoid_mode") = 0, py::arg("antenna_height") = 0.0, py::arg("min_satellites") = 4,
        py::arg("settings_file") = "",
        "Epochs of a recording: at once (fast), at the emulation pace of one line per 500 ms, endlessly\n"
        "(fast=False), or from a raw byte log (raw=True).");
    m.def("receivers", &Receivers, "The receiver models with their capabilities and default baud rates.");
}
