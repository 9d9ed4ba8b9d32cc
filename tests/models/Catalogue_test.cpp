// The nineteen receiver models: names, class tree, run-time records and capability answers.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>
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
    const char* cppBase;  // the nearest model class it derives from, or CGPSReceiver
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
    MODEL(CAshtech,          L"Ashtech",         "CGPSReceiver", "YNNNNYNNN", 9600),
    MODEL(CCSI,              L"CSI",             "CAshtech",     "YYYYYYYNN", 9600),
    MODEL(CCSImax,           L"CSI - MAX",       "CSokkiaAxis3", "YYNYYYNNY", 9600),
    MODEL(CGarmin,           L"Garmin 17-N",     "CGPSReceiver", "NNNNNNNNN", 4800),
    MODEL(CHolux,            L"Holux",           "CSirf",        "NNNNNYYNY", 4800),
    MODEL(CJavad,            L"Javad",           "CGPSReceiver", "NNNNNNNNN", 9600),
    MODEL(CLeica,            L"Leica",           "CGPSReceiver", "NNNNNNNNN", 9600),
    MODEL(COmnistar,         L"Omnistar",        "CGPSReceiver", "NNNNNNNNN", 4800),
    MODEL(CRacal,            L"Racal",           "CAshtech",     "YNNNNYNYN", 9600),
    MODEL(CSatloc,           L"Satloc",          "CGPSReceiver", "NNNNNNNNN", 9600),
    MODEL(CSirf,             L"SiRF",            "CGPSReceiver", "NNNNNYYNY", 4800),
    MODEL(CSokkia,           L"Sokkia Axis",     "CGPSReceiver", "NNNYYYNNN", 9600),
    MODEL(CSokkiaAxis3,      L"Sokkia Axis3",    "CGPSReceiver", "YYNYYYNNY", 9600),
    MODEL(Cgsr2650lb,        L"GSR2650 LB",      "CGPSReceiver", "YYNNYYYNY", 9600),
    MODEL(CStarlink,         L"Starlink",        "CGPSReceiver", "NYNYYYYYN", 9600),
    MODEL(CToughbookGPS01,   L"Toughbook GPS01", "CSirf",        "NNNNNYYNY", 4800),
    MODEL(CHalvorn,          L"Halvorn",         "CGPSReceiver", "NNNNNNNNN", 4800),
    MODEL(CHalvornPocketGps, L"Halvorn Pocket",  "CGPSReceiver", "NNNNNNNNN", 9600),
    MODEL(COtherGps,         L"Other",           "CGPSReceiver", "NNNNNNNNN", 9600),
};
#undef MODEL
// clang-format on

// The model class (CAshtech, CSokkiaAxis3, CSirf) an object derives from, seen through C++ alone.
std::string CppBase(CGPSReceiver& r) {
    if (dynamic_cast<CAshtech*>(&r) && typeid(r) != typeid(CAshtech)) return "CAshtech";
    if (dynamic_cast<CSokkiaAxis3*>(&r) && typeid(r) != typeid(CSokkiaAxis3)) return "CSokkiaAxis3";
    if (dynamic_cast<CSirf*>(&r) && typeid(r) != typeid(CSirf)) return "CSirf";
    return "CGPSReceiver";
}

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
    ASSERT_EQ(kCatalogue.size(), 19u);
    for (const ModelRow& row : kCatalogue) {
        SCOPED_TRACE(row.className);
        std::unique_ptr<CGPSReceiver> receiver = row.make();
        EXPECT_EQ(std::wstring(receiver->GetName().GetString()), row.displayName);
        EXPECT_EQ(CppBase(*receiver), row.cppBase);

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
        EXPECT_TRUE(receiver->IsKindOf(row.record));
        EXPECT_TRUE(receiver->IsKindOf(&CObject::classCObject));
        EXPECT_FALSE(receiver->IsKindOf(TOLVIK_RUNTIME_CLASS(CGPSReceiver)));
    }
}

// Names that extend one another are still different receivers: a baud rate saved under one is
// not read back by the other.
TEST_F(CatalogueTest, NamesThatExtendOneAnotherAreDistinctSettingsKeys) {
    const struct {
        const char* legend;
        Factory shorter, longer;
    } pairs[] = {
        {"Sokkia Axis / Sokkia Axis3", &Make<CSokkia>, &Make<CSokkiaAxis3>},
        {"CSI / CSI - MAX", &Make<CCSI>, &Make<CCSImax>},
        {"Halvorn / Halvorn Pocket", &Make<CHalvorn>, &Make<CHalvornPocketGps>},
    };
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair.legend);
        EXPECT_TRUE(pair.shorter()->SaveDifferentSettings(38400));
        std::unique_ptr<CGPSReceiver> sameModel = pair.shorter(), otherModel = pair.longer();
        sameModel->SetProperties();
        otherModel->SetProperties();
        EXPECT_EQ(sameModel->GetCurrentBaudrate(), 38400);
        EXPECT_EQ(otherModel->GetCurrentBaudrate(), otherModel->GetDefaultBaudrate());
    }
}

}  // namespace
}  // namespace tolvik
