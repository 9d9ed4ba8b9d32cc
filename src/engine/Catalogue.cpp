// STUB until the model classes land.
#include "engine/Catalogue.h"
namespace tolvik {
std::vector<CGPSReceiver*> CreateReceiverCatalogue() { return {}; }
}  // namespace tolvik
