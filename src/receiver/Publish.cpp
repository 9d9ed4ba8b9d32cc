// STUB: replaced by publishing and the notification registry.
#include "tolvik/receiver/CGPSReceiver.h"
namespace tolvik {
bool CGPSReceiver::PostNewData(bool) { return false; }
void CGPSReceiver::BroadcastNotification(GPSNotificationType, CGPSNotification*) {}
void CGPSReceiver::AddNotificationCallback(GPSNotificationType, GPSNotificationCallback, void*) {}
bool CGPSReceiver::HasNotificationCallback(GPSNotificationType) { return false; }
}  // namespace tolvik
