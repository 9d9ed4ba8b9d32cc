// The nineteen receiver models: names, run-time records and capability answers.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tolvik/models/Models.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

using Factory = std::unique_ptr<CGPSReceiver> (*)();

template <class T>
std::unique_ptr<CGPSReceiver> Make() {
    return std::make_unique<T>();
}

struct ModelRow {
    const char* className;
    const wchar_t* displayName;
    const char* answers;  // Y or N for each question, in the order of the columns below
    int defaultBaud;
    Factory make;
    const CRuntimeClass* record;
};

// In the order of the engine's catalogue. Answers: raw data, query NMEA, query settings, beacon,
// elevation mask, set NMEA, reset, orthometric GGA height, DGPS.
// clang-format off
#define MODEL(C, ...) ModelRow{#C, __VA_ARGS__, &Make<C>, TOLVIK_RUNTIME_CLASS(C)}
const std::vector<ModelRow> kCatalogue = {
    MODEL(CAshtech,          L"Ashtech",         "YNNNNYNNN", 9600),
    MODEL(CCSI,              L"CSI",             "YYYYYYYNN", 9600),
    MODEL(CCSImax,           L"CSI - MAX",       "YYNYYYNNY", 9600),
    MODEL(CGarmin,           L"Garmin 17-N",     "NNNNNNNNN", 4800),
    MODEL(CHolux,            L"Holux",           "NNNNNYYNY", 4800),
    MODEL(CJavad,            L"Javad",           "NNNNNNNNN", 9600),
    MODEL(CLeica,            L"Leica",           "NNNNNNNNN", 9600),
    MODEL(COmnistar,         L"Omnistar",        "NNNNNNNNN", 4800),
    MODEL(CRacal,            L"Racal",           "YNNNNYNYN", 9600),
    MODEL(CSatloc,           L"Satloc",          "NNNNNNNNN", 9600),
    MODEL(CSirf,             L"SiRF",            "NNNNNYYNY", 4800),
    MODEL(CSokkia,           L"Sokkia Axis",     "NNNYYYNNN", 9600),
    MODEL(CSokkiaAxis3,      L"Sokkia Axis3",    "YYNYYYNNY", 9600),
    MODEL(Cgsr2650lb,        L"GSR2650 LB",      "YYNNYYYNY", 9600),
    MODEL(CStarlink,         L"Starlink",        "NYNYYYYYN", 9600),
    MODEL(CToughbookGPS01,   L"Toughbook GPS01", "NNNNNYYNY", 4800),
    MODEL(CHalvorn,          L"Halvorn",         "NNNNNNNNN", 4800),
    MODEL(CHalvornPocketGps, L"Halvorn Pocket",  "NNNNNNNNN", 9600),
    MODEL(COtherGps,         L"Other",           "NNNNNNNNN", 9600),
};
#undef MODEL
// clang-format on

// Models are built with no device behind port 0, as on a machine without receivers: the one model
// that opens the port on construction must then stay quiet. The host keeps this test's settings.
class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override { CSerialPort::ClearPortDevices(); }

    test::RecordingHost host;
    platform::VirtualClock clock;
    platform::ScopedClock guard{clock};
};

TEST_F(CatalogueTest, EveryModelHasItsNameTreeRecordAndAnswers) {
    for (const ModelRow& row : kCatalogue) {
        SCOPED_TRACE(row.className);
        std::unique_ptr<CGPSReceiver> receiver = row.make();
        EXPECT_EQ(std::wstring(receiver->GetName().GetString()), row.displayName);

        std::string answers;
        for (const bool yes :
             {receiver->HasRawData(), receiver->ImplementsQueryNmea(), receiver->ImplementsQueryGpsSettings(),
              receiver->ImplementsBeacon(), receiver->ImplementsSetElevMask(), receiver->ImplementsSetNmea(),
              receiver->ImplementsResetAll(), receiver->GGASendsOrthoHeight(), receiver->HasDGPSSupport()})
            answers += yes ? 'Y' : 'N';
        EXPECT_EQ(answers, row.answers);
        EXPECT_EQ(receiver->GetDefaultBaudrate(), row.defaultBaud);
        EXPECT_FALSE(receiver->ResetAll(false));  // nothing behind the port
        // Every object starts at 9600, whatever its default, until its settings are loaded.
        EXPECT_EQ(receiver->GetCurrentBaudrate(), 9600);
        receiver->SetProperties();
        EXPECT_EQ(receiver->GetCurrentBaudrate(), row.defaultBaud);

        // The run-time record names the class itself and declares CObject as its base, so a
        // kind-of test against CGPSReceiver (or a model base) fails although C++ says otherwise.
        const CRuntimeClass* record = receiver->GetRuntimeClass();
        ASSERT_EQ(record, row.record);
        EXPECT_STREQ(record->m_lpszClassName, row.className);
        EXPECT_EQ(record->m_pBaseClass, &CObject::classCObject);
        EXPECT_FALSE(receiver->IsKindOf(TOLVIK_RUNTIME_CLASS(CGPSReceiver)));
    }
}

// Names that extend one another are still different receivers: a baud rate saved under one is
// not read back by the other.
TEST_F(CatalogueTest, NamesThatExtendOneAnotherAreDistinctSettingsKeys) {
    for (const auto& [shorter, longer] : {std::pair{&Make<CSokkia>, &Make<CSokkiaAxis3>},
                                          {&Make<CCSI>, &Make<CCSImax>},
                                          {&Make<CHalvorn>, &Make<CHalvornPocketGps>}}) {
        EXPECT_TRUE(shorter()->SaveDifferentSettings(38400));
        std::unique_ptr<CGPSReceiver> sameModel = shorter(), otherModel = longer();
        SCOPED_TRACE(sameModel->GetName().ToBytes());
        sameModel->SetProperties();
        otherModel->SetProperties();
        EXPECT_EQ(sameModel->GetCurrentBaudrate(), 38400);
        EXPECT_EQ(otherModel->GetCurrentBaudrate(), otherModel->GetDefaultBaudrate());
    }
}

}  // namespace
}  // namespace tolvik
