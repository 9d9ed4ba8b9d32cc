#include "engine/Catalogue.h"

#include "tolvik/models/Models.h"

namespace tolvik {

std::vector<CGPSReceiver*> CreateReceiverCatalogue() {
    // The order hosts list the models in. Constructing the GSR2650 LB runs its own set-up on the
    // shared port (port 0 at 9600 baud), which fails quietly where no such device exists.
    return {
        new CAshtech,        new CCSI,     new CCSImax,           new CGarmin,    new CHolux,
        new CJavad,          new CLeica,   new COmnistar,         new CRacal,     new CSatloc,
        new CSirf,           new CSokkia,  new CSokkiaAxis3,      new Cgsr2650lb, new CStarlink,
        new CToughbookGPS01, new CHalvorn, new CHalvornPocketGps, new COtherGps,
    };
}

}  // namespace tolvik
