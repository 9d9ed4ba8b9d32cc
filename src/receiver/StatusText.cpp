// STUB: replaced by the fix-status map loader.
#include "tolvik/receiver/CGPSReceiver.h"
namespace tolvik {
void CGPSReceiver::LoadAlternatGPSStatusStrings() {}
}  // namespace tolvik
