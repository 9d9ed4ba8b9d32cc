// tolvik receivers: the catalogue with every capability answer and default baud rate.
#include <cstdio>

#include "Cli.h"
#include "ConsoleHost.h"

namespace tolvik::tool {

int RunReceivers(const ReceiversOptions& options) {
    Printer printer(stdout, false);
    ConsoleHost host(printer, false);
    CGPSEngine engine;

    struct Column {
        const char* title;
        bool (*answer)(CGPSReceiver&);
    };
    static const Column kColumns[] = {
        {"raw", [](CGPSReceiver& r) { return r.HasRawData(); }},
        {"qNMEA", [](CGPSReceiver& r) { return r.ImplementsQueryNmea(); }},
        {"qSet", [](CGPSReceiver& r) { return r.ImplementsQueryGpsSettings(); }},
        {"beacon", [](CGPSReceiver& r) { return r.ImplementsBeacon(); }},
        {"mask", [](CGPSReceiver& r) { return r.ImplementsSetElevMask(); }},
        {"sNMEA", [](CGPSReceiver& r) { return r.ImplementsSetNmea(); }},
        {"reset", [](CGPSReceiver& r) { return r.ImplementsResetAll(); }},
        {"ortho", [](CGPSReceiver& r) { return r.GGASendsOrthoHeight(); }},
        {"DGPS", [](CGPSReceiver& r) { return r.HasDGPSSupport(); }},
    };
    static const char* const kJsonNames[] = {
        "hasRawData",         "implementsQueryNmea",   "implementsQueryGpsSettings",
        "implementsBeacon",   "implementsSetElevMask", "implementsSetNmea",
        "implementsResetAll", "ggaSendsOrthoHeight",   "hasDgpsSupport"};

    if (options.json) {
        for (CGPSReceiver* r : engine.Receivers()) {
            nlohmann::ordered_json row = {{"name", ToUtf8(r->GetName())},
                                          {"class", r->GetRuntimeClass()->m_lpszClassName},
                                          {"defaultBaudrate", r->GetDefaultBaudrate()}};
            for (std::size_t i = 0; i < std::size(kColumns); ++i) row[kJsonNames[i]] = kColumns[i].answer(*r);
            std::printf("%s\n", row.dump().c_str());
        }
        return kExitOk;
    }

    std::printf("%-17s %-17s %6s", "name", "class", "baud");
    for (const auto& c : kColumns) std::printf(" %6s", c.title);
    std::printf("\n");
    for (CGPSReceiver* r : engine.Receivers()) {
        std::printf("%-17s %-17s %6d", r->GetName().ToBytes().c_str(), r->GetRuntimeClass()->m_lpszClassName,
                    r->GetDefaultBaudrate());
        for (const auto& c : kColumns) std::printf(" %6s", c.answer(*r) ? "yes" : "-");
        std::printf("\n");
    }
    std::printf(
        "\nraw: raw data for post-processing; qNMEA/qSet: queries NMEA output / settings; beacon: beacon\n"
        "set-up; mask: elevation mask; sNMEA: sets NMEA output; reset: factory reset; ortho: GGA altitude\n"
        "already above the geoid; DGPS: differential source can be set; baud: default line speed.\n");
    return kExitOk;
}

}  // namespace tolvik::tool
