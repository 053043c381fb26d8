namespace sms {}
