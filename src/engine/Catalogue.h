// The receiver catalogue: one object of every model, in the order hosts list them.
#pragma once

#include <vector>

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

// New heap objects, owned by the caller (the engine).
std::vector<CGPSReceiver*> CreateReceiverCatalogue();

}  // namespace tolvik
