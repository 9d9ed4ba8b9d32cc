// CLeica: Leica receivers: NMEA 0183 at 9600 baud. Like the Halvorn units they need to hear from
// the host when the line is silent (the keep-alive text); every capability answer is the base one.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class CLeica : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CLeica)

public:
    CLeica();
    ~CLeica() override;

    CString GetName() override;
    // The base initialization, then the NMEA output set-up. False, with nothing sent, when the
    // base initialization fails.
    bool Initialize() override;
    void KeepAlive() override;
};

}  // namespace tolvik
