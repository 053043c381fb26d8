#include "sms/sms_service.h"

namespace sms {

std::int32_t GetSMSCustomerID(data::Connection&) { return 0; }
void SetSMSDatabase(SmsContext&) {}
void CheckSMS(SmsContext&) {}

}  // namespace sms
