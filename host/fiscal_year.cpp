#include "host/fiscal_year.h"

#include "data/record_set.h"

namespace host {

std::int32_t GetCurrentFyear(data::Connection& main) {
  data::RecordSet rs;
  rs.Open(main, "Select Sn,Fyear,Dfrom,Dto from YearSetting Where [Using]=1");
  std::int32_t year = 0;
  if (!rs.Bof() && !rs.Eof() && !rs.Field(0).IsNull()) year = rs.Field(0).AsInt32();
  rs.Close();
  return year;
}

std::int32_t GeTCurYear(data::Connection& main, const std::string& StrNDate) {
  data::RecordSet rs;
  rs.Open(main, "Select * from YearSetting Where dTo>=" + data::SqlText(StrNDate) + " order by SN");
  if (rs.RecordCount() > 0) return rs.Field("SN").AsInt32();  // a Null SN fails here
  return 0;
}

}  // namespace host
