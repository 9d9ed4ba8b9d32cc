// Other brands: beacon MSS/MSK, "$PSLIR", "$>JSHOW", every brand's elevation mask, "$PGRME".
#include "replies/ReplyTest.h"

namespace tolvik::test {
namespace {

using OtherBrandRepliesTest = ReplyTest;

TEST_F(OtherBrandRepliesTest, BeaconSlirAndJshowSettings) {
    const Handler mss = &Rx::ProcessCRMSS, msk = &Rx::ProcessCRMSK, slir = &Rx::ProcessPSLIRParNmea,
                  jshow = &Rx::ProcessJSHOW;
    // A frequency of 0 means automatic tuning (1), any other manual (2).
    Check({{mss, N("GPMSS,55,27,318.0,100,"), true, "strength=55 snr=27 freq=318 rate=100 beaconValid=1 updated=1"},
           {mss, N("CRMSS,48,19,31x.5,200,"), false, "strength=48 snr=19"},
           {msk, N("GPMSK,318.0,A,100,M,2"), true, "autoTune=1 modeValid=1 updated=1"},
           {msk, N("GPMSK,318.0,a,100,M,2"), true, "modeValid=1 updated=1"},
           {jshow, L"$>JSHOW,FREQ,0.0,1200\r\n", true, "lband=1 updated=1"},
           {jshow, L"$>JSHOW,FREQ,1557.8450\r\n", true, "lband=2 updated=1"},
           {jshow, L"$>JSHOW,FREQ,,1200\r\n", false, ""}});
    // Automatic tuning on, ZDA and SAT off at first: no "ZDA:" reads as unknown, SAT is not part
    // of the reply. "$>JSHOW" lists the sentences that are on, so its "ASC" lines only ever switch
    // statuses on; a sentence we do not track leaves the flag clear.
    Check(
        {{msk, N("CRMSK,318.0,M,100,M,2"), true, "autoTune=0 modeValid=1 updated=1"},
         {msk, N("GPMSK,318.0,,100,M,2"), true, "modeValid=1 updated=1"},
         {slir, N("PSLIR,PAR,NMEA,GGA:1,GSA:0.5,GSV:5,VTG:0,GLL:-1,GGA:0"), true, "nmea=NN?FFFN nmeaValid=1 updated=1"},
         {slir, N("PSLIR,PAR,NMEA,GGA:1,GSA:?,ZDA:1"), false, "nmea=N?F??F?"},
         {jshow, L"$>JSHOW,ASC,GPGGA,1.0,PORTA\r\n", true, "nmea=N?F??F? nmeaValid=1 updated=1"},
         {jshow, L"$>JSHOW,ASC,GPGSV,5.0,PORTA\r\n", true, "nmea=??F??FN nmeaValid=1 updated=1"},
         {jshow, L"$>JSHOW,ASC,GPRMC,1.0,PORTA\r\n", false, ""}},
        [](CGPSData& d) {
            CGPSStatusData& s = d.m_Status;
            s.m_bBeaconAutoTune = true;
            s.m_NmeaStatus[NMEA_INDEX_ZDA] = s.m_NmeaStatus[NMEA_INDEX_SAT] = NMEA_MSG_OFF;
        });
}

TEST_F(OtherBrandRepliesTest, ElevationMasksOfEveryBrandAndGarminErrors) {
    // No "ELM:" confirms the mask held; "$PMCAG" is split at "," only, so a mask in its last
    // field runs into the checksum; a log needs a "*" after its ";"; real values are truncated
    // toward zero and must fit an int. The errors start at 9; "F" in any case is the US survey
    // foot, 1200/3937 m; an unread error keeps the old one, which its unit does not convert.
    const Handler slir = &Rx::ProcessPSLIRParMode, pmcag = &Rx::ProcessPMCAG, jshow = &Rx::ProcessJSHOW,
                  ecutoff = &Rx::ProcessECUTOFF, pgrme = &Rx::ProcessGarminEstPrecision;
    const auto mask = [](int m) { return "mask=" + std::to_string(m) + " maskValid=1 updated=1"; };
    Check({{slir, N("PSLIR,PAR,MODE,ELM:10,DIF:0"), true, mask(10)},
           {slir, N("PSLIR,PAR,MODE,DIF:0"), true, "maskValid=1 updated=1"},
           {slir, N("PSLIR,PAR,MODE,ELM:,DIF:0"), false, ""},
           {pmcag, N("PMCAG,908,0,0,1,0,12.9,1"), true, mask(12)},
           {pmcag, N("PMCAG,004,908"), false, ""},
           {pmcag, N("PMCAG,9080,0,0,1,0,12.9,1"), false, ""},
           {pmcag, N("PMCAG,908,0,0,1,0,12.9"), false, ""},
           {pmcag, N("PMCAG,908,0,0,1,0,1e300,1"), false, ""},
           {jshow, L"$>JSHOW,MASK,5\r\n", true, mask(5)},
           {jshow, L"$>JSHOW,MASK,low\r\n", false, ""},
           {ecutoff, L"#ECUTOFFA,COM1,0;5.5*1a\r\n", true, mask(5)},
           {ecutoff, L"#ECUTOFFA; -2.5*1a", true, mask(-2)},
           {ecutoff, L"#ECUTOFFA;5.5\r\n", false, ""},
           {ecutoff, L"#ECUTOFFA,COM1*0;5.5\r\n", false, ""},
           {pgrme, N("PGRME,15.0,M,45.0,M,25.0,M"), true, "horz=15 vert=45 err=25"},
           {pgrme, N("PGRME,10,F,20,f,30,F"), true, "horz=3.04801 vert=6.09601 err=9.14402"},
           {pgrme, N("PGRME,10.0,K,20.0,,30.0,FT"), true, "horz=10 vert=20 err=30"},
           {pgrme, N("PGRME,15.0,F,x,F,25.0,M"), true, "horz=4.57201 err=25"}},
          [](CGPSData& d) { d.m_dHorzError = d.m_dVertError = d.m_dPosError = 9.0; });
}

}  // namespace
}  // namespace tolvik::test
