#include "loans/loan_settings.h"

#include <string>

#include "data/record_set.h"
#include "loans/loan_values.h"

namespace loans {

namespace {

std::int16_t Int16OrZero(const data::Value& value) {
  return value.IsNull() ? std::int16_t{0} : value.AsInt16();
}

bool BoolOrFalse(const data::Value& value) { return value.IsNull() ? false : value.AsBool(); }

std::string TextOr(const data::Value& value, const char* fallback) {
  return value.IsNull() ? std::string(fallback) : value.AsText();
}

}  // namespace

void LoadLoanSettings(LoanState& state) {
  LoanSettings& s = state.settings;
  s.p1 = 0;
  s.p2 = 0;
  s.p3 = 0;
  s.Basis.clear();

  data::RecordSet rs;
  rs.Open(state.main(), "Select * from OtherSetting");
  if (HasRow(rs) && !rs.Field(0).IsNull()) {
    // Stored one by one, so a failing column leaves the earlier ones of this load in place.
    s.p1 = NumberOrZero(rs.Field("p1"));
    s.p2 = NumberOrZero(rs.Field("p2"));
    s.p3 = NumberOrZero(rs.Field("p3"));
    s.Basis = TextOr(rs.Field("Basis"), "Installment");
    s.ir1 = NumberOrZero(rs.Field("ir1"));
    s.ir2 = NumberOrZero(rs.Field("ir2"));
    s.ir3 = NumberOrZero(rs.Field("IR3"));
    s.Ag1 = NumberOrZero(rs.Field("Ag1"));
    s.Ag2 = NumberOrZero(rs.Field("Ag2"));
    s.Ag3 = NumberOrZero(rs.Field("Ag3"));
    s.AD1 = NumberOrZero(rs.Field("AD1"));
    s.AD2 = NumberOrZero(rs.Field("AD2"));
    s.MonthlyDue = BoolOrFalse(rs.Field("MonthlyDue"));
    s.InsDue = BoolOrFalse(rs.Field("InsDue"));
    s.PLOn = Int16OrZero(rs.Field("PLOn"));
    s.MiStatus = TextOr(rs.Field("MiStatus"), "Interest");
    s.MIGrace = Int16OrZero(rs.Field("MIGrace"));
    s.PLGrace = Int16OrZero(rs.Field("PLGrace"));
    s.LPeriod = Int16OrZero(rs.Field("LPeriod"));
    s.PFrom = Int16OrZero(rs.Field("PFrom"));
    s.MI1 = NumberOrZero(rs.Field("MI1"));
    s.MI2 = NumberOrZero(rs.Field("MI2"));
    s.MI3 = NumberOrZero(rs.Field("MI3"));
  }
  if (s.LPeriod == 0) s.LPeriod = 360;
  rs.Close();
}

}  // namespace loans
