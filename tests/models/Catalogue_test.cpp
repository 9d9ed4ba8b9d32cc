// The nineteen receiver models: names, class tree, run-time records and capability answers.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "support/TestSupport.h"
#include "tolvik/models/Models.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

constexpr bool Y = true;
constexpr bool N = false;

struct Answers {
    bool hasRawData;
    bool queryNmea;
    bool queryGpsSettings;
    bool beacon;
    bool setElevMask;
    bool setNmea;
    bool resetAll;
    bool orthoHeight;
    bool dgps;
    int defaultBaud;
};

struct ModelRow {
    const char* className;
    const wchar_t* displayName;
    const char* cppBase;  // the nearest model class it derives from, or CGPSReceiver
    Answers answers;
    std::unique_ptr<CGPSReceiver> (*make)();
    const CRuntimeClass* record;
    int size;
};

template <class T>
std::unique_ptr<CGPSReceiver> Make() {
    return std::make_unique<T>();
}

template <class T>
ModelRow Row(const char* className, const CRuntimeClass* record, const wchar_t* displayName,
             const char* cppBase, Answers answers) {
    return {className, displayName, cppBase, answers, &Make<T>, record,
            static_cast<int>(sizeof(T))};
}

#define MODEL(C, name, cppBase, ...) \
    Row<C>(#C, TOLVIK_RUNTIME_CLASS(C), name, cppBase, Answers{__VA_ARGS__})

// In the order of the engine's catalogue. Columns as in Answers: raw data, query NMEA, query
// settings, beacon, elevation mask, set NMEA, reset, orthometric GGA height, DGPS, baud rate.
// clang-format off
const std::vector<ModelRow> kCatalogue = {
    MODEL(CAshtech,          L"Ashtech",         "CGPSReceiver", Y, N, N, N, N, Y, N, N, N, 9600),
    MODEL(CCSI,              L"CSI",             "CAshtech",     Y, Y, Y, Y, Y, Y, Y, N, N, 9600),
    MODEL(CCSImax,           L"CSI - MAX",       "CSokkiaAxis3", Y, Y, N, Y, Y, Y, N, N, Y, 9600),
    MODEL(CGarmin,           L"Garmin 17-N",     "CGPSReceiver", N, N, N, N, N, N, N, N, N, 4800),
    MODEL(CHolux,            L"Holux",           "CSirf",        N, N, N, N, N, Y, Y, N, Y, 4800),
    MODEL(CJavad,            L"Javad",           "CGPSReceiver", N, N, N, N, N, N, N, N, N, 9600),
    MODEL(CLeica,            L"Leica",           "CGPSReceiver", N, N, N, N, N, N, N, N, N, 9600),
    MODEL(COmnistar,         L"Omnistar",        "CGPSReceiver", N, N, N, N, N, N, N, N, N, 4800),
    MODEL(CRacal,            L"Racal",           "CAshtech",     Y, N, N, N, N, Y, N, Y, N, 9600),
    MODEL(CSatloc,           L"Satloc",          "CGPSReceiver", N, N, N, N, N, N, N, N, N, 9600),
    MODEL(CSirf,             L"SiRF",            "CGPSReceiver", N, N, N, N, N, Y, Y, N, Y, 4800),
    MODEL(CSokkia,           L"Sokkia Axis",     "CGPSReceiver", N, N, N, Y, Y, Y, N, N, N, 9600),
    MODEL(CSokkiaAxis3,      L"Sokkia Axis3",    "CGPSReceiver", Y, Y, N, Y, Y, Y, N, N, Y, 9600),
    MODEL(Cgsr2650lb,        L"GSR2650 LB",      "CGPSReceiver", Y, Y, N, N, Y, Y, Y, N, Y, 9600),
    MODEL(CStarlink,         L"Starlink",        "CGPSReceiver", N, Y, N, Y, Y, Y, Y, Y, N, 9600),
    MODEL(CToughbookGPS01,   L"Toughbook GPS01", "CSirf",        N, N, N, N, N, Y, Y, N, Y, 4800),
    MODEL(CHalvorn,          L"Halvorn",         "CGPSReceiver", N, N, N, N, N, N, N, N, N, 4800),
    MODEL(CHalvornPocketGps, L"Halvorn Pocket",  "CGPSReceiver", N, N, N, N, N, N, N, N, N, 9600),
    MODEL(COtherGps,         L"Other",           "CGPSReceiver", N, N, N, N, N, N, N, N, N, 9600),
};
// clang-format on

// The model class (CAshtech, CSokkiaAxis3, CSirf) an object derives from, seen through C++ alone.
std::string CppBase(CGPSReceiver& receiver) {
    const std::type_info& self = typeid(receiver);
    if (dynamic_cast<CAshtech*>(&receiver) && self != typeid(CAshtech)) return "CAshtech";
    if (dynamic_cast<CSokkiaAxis3*>(&receiver) && self != typeid(CSokkiaAxis3)) {
        return "CSokkiaAxis3";
    }
    if (dynamic_cast<CSirf*>(&receiver) && self != typeid(CSirf)) return "CSirf";
    return "CGPSReceiver";
}

// Models are built with no device behind port 0, as on a machine without receivers: the one model
// that opens the port on construction must then stay quiet. The host keeps the settings of this
// test alone.
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

        const Answers& a = row.answers;
        EXPECT_EQ(receiver->HasRawData(), a.hasRawData);
        EXPECT_EQ(receiver->ImplementsQueryNmea(), a.queryNmea);
        EXPECT_EQ(receiver->ImplementsQueryGpsSettings(), a.queryGpsSettings);
        EXPECT_EQ(receiver->ImplementsBeacon(), a.beacon);
        EXPECT_EQ(receiver->ImplementsSetElevMask(), a.setElevMask);
        EXPECT_EQ(receiver->ImplementsSetNmea(), a.setNmea);
        EXPECT_EQ(receiver->ImplementsResetAll(), a.resetAll);
        EXPECT_EQ(receiver->GGASendsOrthoHeight(), a.orthoHeight);
        EXPECT_EQ(receiver->HasDGPSSupport(), a.dgps);
        EXPECT_EQ(receiver->GetDefaultBaudrate(), a.defaultBaud);

        // The run-time record names the class itself and declares CObject as its base, so a
        // kind-of test against CGPSReceiver (or a model base) fails although C++ says otherwise.
        const CRuntimeClass* record = receiver->GetRuntimeClass();
        ASSERT_EQ(record, row.record);
        EXPECT_STREQ(record->m_lpszClassName, row.className);
        EXPECT_EQ(record->m_nObjectSize, row.size);
        EXPECT_EQ(record->m_wSchema, 0xFFFFu);
        EXPECT_EQ(record->CreateObject(), nullptr);
        EXPECT_EQ(record->m_pBaseClass, &CObject::classCObject);
        EXPECT_TRUE(receiver->IsKindOf(row.record));
        EXPECT_TRUE(receiver->IsKindOf(&CObject::classCObject));
        EXPECT_FALSE(receiver->IsKindOf(TOLVIK_RUNTIME_CLASS(CGPSReceiver)));
    }
}

TEST_F(CatalogueTest, AnswersNoModelChangesAreTheBaseOnes) {
    for (const ModelRow& row : kCatalogue) {
        SCOPED_TRACE(row.className);
        std::unique_ptr<CGPSReceiver> receiver = row.make();
        EXPECT_TRUE(receiver->IsAvailable());
        EXPECT_FALSE(receiver->IsExternalDriver());
        EXPECT_FALSE(receiver->UseExternalSettings());
        EXPECT_FALSE(receiver->IsRtkReceiver());
        EXPECT_FALSE(receiver->HasDefaultComPort());
        EXPECT_EQ(receiver->GetDefaultComPort(), 3);
        // Every object starts at 9600, whatever its default, until its settings are loaded.
        EXPECT_EQ(receiver->GetCurrentBaudrate(), 9600);
        receiver->m_nBaudRate = 38400;
        EXPECT_EQ(receiver->GetCurrentBaudrate(), 38400);
        EXPECT_FALSE(receiver->ResetAll(false));
    }
}

TEST_F(CatalogueTest, LoadingSettingsWithNothingStoredGivesEachModelItsDefaultBaudRate) {
    for (const ModelRow& row : kCatalogue) {
        SCOPED_TRACE(row.className);
        std::unique_ptr<CGPSReceiver> receiver = row.make();
        receiver->SetProperties();
        EXPECT_EQ(receiver->GetCurrentBaudrate(), row.answers.defaultBaud);
    }
}

TEST_F(CatalogueTest, DisplayNamesAreDistinctSettingsKeys) {
    std::set<std::wstring> names;
    for (const ModelRow& row : kCatalogue) {
        names.insert(row.make()->GetName().GetString());
    }
    EXPECT_EQ(names.size(), kCatalogue.size());

    // Names that extend one another are still different receivers: a baud rate saved for one is
    // not read back by the other.
    struct Pair {
        const char* legend;
        std::unique_ptr<CGPSReceiver> (*shorter)();
        std::unique_ptr<CGPSReceiver> (*longer)();
    };
    const Pair pairs[] = {
        {"Sokkia Axis / Sokkia Axis3", &Make<CSokkia>, &Make<CSokkiaAxis3>},
        {"CSI / CSI - MAX", &Make<CCSI>, &Make<CCSImax>},
        {"Halvorn / Halvorn Pocket", &Make<CHalvorn>, &Make<CHalvornPocketGps>},
    };
    int rate = 19200;
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.legend);
        rate *= 2;
        EXPECT_TRUE(pair.shorter()->SaveDifferentSettings(rate));

        std::unique_ptr<CGPSReceiver> sameModel = pair.shorter();
        sameModel->SetProperties();
        EXPECT_EQ(sameModel->GetCurrentBaudrate(), rate);

        std::unique_ptr<CGPSReceiver> otherModel = pair.longer();
        otherModel->SetProperties();
        EXPECT_EQ(otherModel->GetCurrentBaudrate(), otherModel->GetDefaultBaudrate());
    }
}

// Where an answer comes from matters once models derive from models: CCSImax restates
// CSokkiaAxis3's differential support and CHolux restates CSirf's, CToughbookGPS01 does not.
// (The type of &Class::Member names the class that declares the member.)
static_assert(std::is_same_v<decltype(&CCSI::HasRawData), bool (CAshtech::*)()>);
static_assert(std::is_same_v<decltype(&CRacal::ImplementsSetNmea), bool (CAshtech::*)()>);
static_assert(std::is_same_v<decltype(&CRacal::GGASendsOrthoHeight), bool (CRacal::*)()>);
static_assert(std::is_same_v<decltype(&CHalvorn::HasRawData), bool (CHalvorn::*)()>);
static_assert(std::is_same_v<decltype(&CCSImax::ImplementsBeacon), bool (CSokkiaAxis3::*)()>);
static_assert(std::is_same_v<decltype(&CCSImax::HasDGPSSupport), bool (CCSImax::*)() const>);
static_assert(std::is_same_v<decltype(&CToughbookGPS01::HasDGPSSupport), bool (CSirf::*)() const>);
static_assert(std::is_same_v<decltype(&CToughbookGPS01::GetDefaultBaudrate),
                             int (CToughbookGPS01::*)()>);
static_assert(std::is_same_v<decltype(&CHolux::HasDGPSSupport), bool (CHolux::*)() const>);
static_assert(std::is_same_v<decltype(&CHolux::GetDefaultBaudrate), int (CHolux::*)()>);
static_assert(std::is_same_v<decltype(&Cgsr2650lb::GetDefaultBaudrate), int (Cgsr2650lb::*)()>);
static_assert(std::is_same_v<decltype(&CLeica::GetDefaultBaudrate), int (CGPSReceiver::*)()>);
static_assert(std::is_same_v<decltype(&COtherGps::HasRawData), bool (CGPSReceiver::*)()>);

}  // namespace
}  // namespace tolvik
