#include "data/record_set.h"

#include <gtest/gtest.h>

#include "base/agent_error.h"

namespace data {
namespace {

template <typename Action>
int ErrorNumberOf(Action action) {
  try {
    action();
  } catch (const base::AgentError& e) {
    return e.number();
  }
  ADD_FAILURE() << "no base::AgentError thrown";
  return 0;
}

// The shape of the repayment schedules: SN, date, amounts.
RecordSet ScheduleSet() {
  RecordSet rs;
  rs.AppendField("SN", FieldType::kBigInt);
  rs.AppendField("tDate", FieldType::kText);
  rs.AppendField("Principal", FieldType::kDouble);
  rs.Open();
  return rs;
}

TEST(InMemoryRecordSet, EmptyAfterOpen) {
  RecordSet rs = ScheduleSet();
  EXPECT_TRUE(rs.IsOpen());
  EXPECT_TRUE(rs.Eof());
  EXPECT_TRUE(rs.Bof());
  EXPECT_EQ(0, rs.RecordCount());
  EXPECT_EQ(3, rs.FieldCount());
  EXPECT_EQ(base::kNoCurrentRecord, ErrorNumberOf([&] { rs.Field("SN"); }));
  EXPECT_EQ(base::kNoCurrentRecord, ErrorNumberOf([&] { rs.SetValue("SN", 1); }));
}

TEST(InMemoryRecordSet, RowsKeepFieldOrderAndAppendOrder) {
  RecordSet rs = ScheduleSet();
  for (int sn = 1; sn <= 3; ++sn) {
    rs.AddNew();
    rs.SetValue("SN", sn);
    rs.SetValue(1, "2080/0" + std::to_string(sn) + "/15");
    rs.SetValue("principal", 1000.0 * sn);
    rs.Update();
  }
  EXPECT_EQ(3, rs.RecordCount());
  EXPECT_EQ("SN", rs.FieldName(0));
  EXPECT_EQ("tDate", rs.FieldName(1));
  EXPECT_EQ("Principal", rs.FieldName(2));

  rs.MoveFirst();
  EXPECT_EQ(1, rs.Field(0).AsInt64());
  EXPECT_EQ("2080/01/15", rs.Field("TDATE").AsText());
  rs.MoveLast();
  EXPECT_EQ(3, rs.Field("SN").AsInt64());
  EXPECT_EQ(3000.0, rs.Field(2).AsDouble());
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
}

TEST(InMemoryRecordSet, ValuesTakeTheFieldsType) {
  RecordSet rs = ScheduleSet();
  rs.AddNew();
  rs.SetValue("SN", 2.5);      // halves go to the even neighbour
  rs.SetValue("tDate", 2080);  // a number stored in a text field becomes its text
  rs.SetValue("Principal", "12.5");
  EXPECT_EQ(Value(std::int64_t{2}), rs.Field("SN"));
  EXPECT_EQ(Value("2080"), rs.Field("tDate"));
  EXPECT_EQ(Value(12.5), rs.Field("Principal"));

  rs.SetValue("SN", Value());  // Null stays Null whatever the type
  EXPECT_TRUE(rs.Field("SN").IsNull());
  EXPECT_EQ(base::kTypeMismatch, ErrorNumberOf([&] { rs.SetValue("Principal", "abc"); }));
  EXPECT_EQ(base::kFieldNotFound, ErrorNumberOf([&] { rs.SetValue("Interest", 1.0); }));
  EXPECT_EQ(base::kFieldNotFound, ErrorNumberOf([&] { rs.SetValue(3, 1.0); }));
}

TEST(InMemoryRecordSet, UnassignedFieldsAreNull) {
  RecordSet rs = ScheduleSet();
  rs.AddNew();
  rs.SetValue("SN", 1);
  rs.Update();
  EXPECT_TRUE(rs.Field("tDate").IsNull());
  EXPECT_TRUE(rs.Field("Principal").IsNull());
}

TEST(InMemoryRecordSet, FieldsCannotBeAppendedOnceOpen) {
  RecordSet rs = ScheduleSet();
  EXPECT_NE(0, ErrorNumberOf([&] { rs.AppendField("Late", FieldType::kText); }));
  EXPECT_EQ(3, rs.FieldCount());
}

TEST(InMemoryRecordSet, AddNewNeedsAnOpenSet) {
  RecordSet rs;
  rs.AppendField("SN", FieldType::kBigInt);
  EXPECT_NE(0, ErrorNumberOf([&] { rs.AddNew(); }));
}

TEST(InMemoryRecordSet, ReopeningStartsEmpty) {
  RecordSet rs = ScheduleSet();
  rs.AddNew();
  rs.SetValue(0, 1);
  rs.Close();
  rs.Open();
  EXPECT_EQ(0, rs.RecordCount());
  EXPECT_EQ(3, rs.FieldCount());
}

}  // namespace
}  // namespace data
